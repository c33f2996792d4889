#include "render_settings.h"

#include "png_writer.h"

#include <cstdio>

#ifndef _WIN32
#include "dialogs/config_frm.h"
#include "dialogs/config_frm_layout.h"
#include "dialogs/config_frm_paint.h"
#include "packer.h"
#include "platform/headless/headless_files.h"
#include "platform/headless/headless_message_box.h"
#include "platform/headless/headless_shell.h"
#include "platform/headless/headless_text.h"

#include <filesystem>
#include <fstream>
#include <unistd.h>
#endif

namespace lumora::tools {

const char* const kRenderSettingsUsage =
    "usage: lumora-render settings SAVER.scr|SHOW-FOLDER -o OUT.png [--page general|about]\n"
    "Draws the settings dialog of a packed screen saver (or of a show folder, packed on the\n"
    "way) as /c shows it: the show's banner, author, website and description, and the\n"
    "check boxes as the settings file beside the screen saver (SAVER.ini) sets them.\n"
    "  --page  the tab sheet shown (default general)\n"
    "Exit status 2 on argument errors, 1 when the configuration cannot be read.\n";

int RenderSettings(const std::vector<std::string>& args) {
  std::string scr, out;
  int page = 0;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--help" || a == "-h") {
      std::fputs(kRenderSettingsUsage, stdout);
      return 0;
    } else if (a == "-o" && hasValue) {
      out = args[++i];
    } else if (a == "--page" && hasValue && (args[i + 1] == "general" || args[i + 1] == "about")) {
      page = args[++i] == "about" ? 1 : 0;
    } else if (!a.empty() && a[0] != '-' && scr.empty()) {
      scr = a;
    } else {
      std::fprintf(stderr, "lumora-render: unknown or incomplete argument %s\n(see lumora-render settings --help)\n",
                   a.c_str());
      return 2;
    }
  }
  if (scr.empty() || out.empty()) {
    std::fputs(kRenderSettingsUsage, stderr);
    return 2;
  }
#ifdef _WIN32
  (void)page;
  std::fputs("lumora-render: drawing the settings dialog is done by the native build\n", stderr);
  return 1;
#else
  namespace fs = std::filesystem;
  const fs::path temp = fs::temp_directory_path() / ("lumora-render-settings-" + std::to_string(::getpid()));
  fs::create_directories(temp);
  int status = 0;
  fs::path saver = scr;
  std::error_code ec;
  if (fs::is_directory(saver, ec)) {
    try {
      platform::THeadlessFileSystem packFiles;
      saver = pack::PackFolderForPlaying(packFiles, scr, temp, nullptr);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "lumora-render: cannot pack %s: %s\n", scr.c_str(), e.what());
      fs::remove_all(temp, ec);
      return 1;
    }
  }
  {
    platform::THeadlessFileSystem files(saver, temp);
    platform::THeadlessMessageBox messages;
    platform::THeadlessShell shell;
    TConfigFrm form(TConfigFrmPlatform{files, messages, shell}, {});
    form.FormShow();
    for (const std::string& m : messages.Shown()) std::fprintf(stderr, "lumora-render: the dialog says: %s\n", m.c_str());
    if (form.Closed()) {
      status = 1;
    } else {
      platform::THeadlessTextRasterizer text;
      const TBitmap32 picture = PaintConfigFrm(LayoutConfigFrm(form), form.imgBanner, text, page);
      std::string error;
      if (!WritePng(out, picture, &error)) {
        std::fprintf(stderr, "lumora-render: %s\n", error.c_str());
        status = 1;
      }
    }
  }
  fs::remove_all(temp, ec);
  return status;
#endif
}

}  // namespace lumora::tools
