// Arbitrary bytes as an INI file: load them, read every section and key through every
// typed reader, change a few things, and load the result as a show configuration.
#include "show/show_config.h"
#include "show/show_payload.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumora;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<TBiggerIniFile> ini = IniFromText(text);
  TStrings sections;
  ini->ReadSections(sections);
  std::size_t reads = 0;
  for (const std::string& section : sections) {
    TStrings keys;
    ini->ReadSection(section, keys);
    for (const std::string& key : keys) {
      if (++reads > 2000) break;
      (void)ini->ReadString(section, key, "");
      (void)ini->ReadInteger(section, key, 0);
      (void)ini->ReadFloat(section, key, 0);
      (void)ini->ReadBool(section, key, false);
      (void)ini->ReadHexInteger(section, key, 0);
      (void)ini->ReadPicPos(section, key, TPicPos::poTopLeft);
      (void)ini->ReadFont(section, key, TFont());
    }
  }
  TStrings all;
  ini->ReadAll(all);
  if (!sections.empty()) {
    ini->WriteString(sections.front(), "Key", text.substr(0, 300));
    ini->DeleteKey(sections.back(), "Key");
    ini->EraseSection(sections[sections.size() / 2]);
  }
  for (const bool preview : {false, true}) {
    TShowConfig show;
    std::unique_ptr<TBiggerIniFile> config = IniFromText(text);
    TShowLoadHooks hooks;
    hooks.ShowDesktopPreview = [](const TSSConfig&) { return false; };
    (void)LoadShowConfig(*config, nullptr, preview, hooks, show);
    ReadSettingsDialogKeys(*config, show.Config);
  }
  return 0;
}
