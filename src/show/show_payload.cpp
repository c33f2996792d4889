#include "show/show_payload.h"

#include "ini/ini_text.h"
#include "show/show_config.h"

#include <map>
#include <set>
#include <tuple>

namespace lumora {
namespace {

// A file system with no files, for INI objects that live only in memory.
class TNoFileSystem final : public platform::IFileSystem {
 public:
  std::filesystem::path ExecutablePath() override { return {}; }
  std::unique_ptr<platform::IReadableFile> OpenForReadDenyWrite(const std::filesystem::path&) override {
    return nullptr;
  }
  std::optional<std::filesystem::path> TempDirectory() override { return std::nullopt; }
  std::optional<std::filesystem::path> CreateUniqueTempFile(const std::filesystem::path&, std::string_view) override {
    return std::nullopt;
  }
  bool RenameFile(const std::filesystem::path&, const std::filesystem::path&) override { return false; }
  bool RemoveFile(const std::filesystem::path&) override { return false; }
  std::unique_ptr<platform::IWritableFile> OpenExistingForWrite(const std::filesystem::path&) override {
    return nullptr;
  }
  std::unique_ptr<platform::IWritableFile> CreateForWrite(const std::filesystem::path&) override { return nullptr; }
  std::filesystem::path PathFromPayloadText(std::string_view text) override { return std::string(text); }
  bool FileExists(const std::filesystem::path&) override { return false; }
};

TNoFileSystem& NoFiles() {
  static TNoFileSystem fs;
  return fs;
}

std::string Folded(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(ini::FoldCase(static_cast<unsigned char>(c)));
  return out;
}

class TEntryChecker {
 public:
  TEntryChecker(platform::IReadableFile& file, bool checkPictures) : file_(file), checkPictures_(checkPictures) {}

  void Check(TEntryRefReport& ref) {
    if (ref.Position == -1 && ref.StoredSize == 0) {
      ref.Status = TEntryStatus::NoEntry;
      return;
    }
    std::uint32_t inflated = 0;
    const TEntryStatus sizeStatus = ReadEntryInflatedSize(file_, ref.Position, ref.StoredSize, inflated);
    if (sizeStatus != TEntryStatus::Ok) {
      ref.Status = sizeStatus;
      return;
    }
    ref.InflatedSize = inflated;
    // An entry used by several keys is inflated once.
    const auto key = std::make_pair(ref.Position, ref.StoredSize);
    if (const auto it = seen_.find(key); it != seen_.end()) {
      ref.Status = it->second;
      if (ref.Status == TEntryStatus::Ok && checkPictures_) ref.Status = PictureVerdict(ref);
      return;
    }
    ref.Status = InflateEntry(file_, ref.Position, ref.StoredSize, [](std::span<const std::byte>) { return true; },
                              true);
    seen_[key] = ref.Status;
    // A picture must also pass its decoder's header check; the player would not show it.
    if (ref.Status == TEntryStatus::Ok && checkPictures_) ref.Status = PictureVerdict(ref);
  }

 private:
  TEntryStatus PictureVerdict(const TEntryRefReport& ref) {
    const auto key = std::make_tuple(ref.Position, ref.StoredSize, ref.Extension);
    const auto it = verdicts_.find(key);
    if (it != verdicts_.end()) return it->second;
    return verdicts_[key] = CheckPictureHeader(file_, ref.Position, ref.StoredSize, ref.Extension);
  }

  platform::IReadableFile& file_;
  bool checkPictures_;
  std::map<std::pair<std::int32_t, std::int32_t>, TEntryStatus> seen_;
  std::map<std::tuple<std::int32_t, std::int32_t, std::string>, TEntryStatus> verdicts_;
};

void AddRef(const TIniIndex& ini, const TEntryRefSpec& spec, const std::string& section, std::int32_t number,
            bool always, TEntryChecker& checker, std::vector<TEntryRefReport>& out) {
  const std::string suffix = spec.Section == TSectionKind::Snd ? std::to_string(number) : std::string();
  const std::string extensionKey = spec.ExtensionKey.empty() ? std::string() : std::string(spec.ExtensionKey) + suffix;
  const std::string positionKey = std::string(spec.PositionKey) + suffix;
  const std::string sizeKey = std::string(spec.SizeKey) + suffix;
  TEntryRefReport ref;
  ref.Spec = &spec;
  ref.Section = section;
  ref.Number = number;
  const std::optional<std::string> extension =
      extensionKey.empty() ? std::nullopt : ini.ReadString(section, extensionKey);
  ref.HasExtensionKey = extension.has_value();
  ref.Key = extensionKey.empty() ? positionKey : extensionKey;
  ref.Extension = extensionKey.empty() ? std::string(spec.FixedExtension) : extension.value_or("");
  ref.Position = ini.ReadInteger(section, positionKey, -1);
  ref.StoredSize = ini.ReadInteger(section, sizeKey, 0);
  if (!always && !ref.HasExtensionKey && ref.Position == -1 && ref.StoredSize == 0) return;
  checker.Check(ref);
  out.push_back(std::move(ref));
}

}  // namespace

TIniIndex::TIniIndex(const TBigIniFile& ini) {
  constexpr std::size_t kLongSection = 32;
  const TSectionList& sections = ini.Sections();
  for (int i = 0; i < sections.Count(); ++i) {
    // The first section of a name is the one the readers find.
    const TIniSectionLines& lines = sections.Lines(i);
    if (!sections_.emplace(Folded(sections.Name(i)), &lines).second || lines.size() < kLongSection) continue;
    auto& keys = keys_[&lines];
    for (const TIniLine& line : lines)
      if (line.KeyEnd != std::string::npos) keys.emplace(Folded(line.Key()), &line);
  }
}

const TIniSectionLines* TIniIndex::Lines(std::string_view section) const {
  const auto it = sections_.find(Folded(section));
  return it == sections_.end() ? nullptr : it->second;
}

const TIniLine* TIniIndex::Find(std::string_view section, std::string_view key) const {
  const TIniSectionLines* lines = Lines(section);
  if (lines == nullptr) return nullptr;
  if (const auto keys = keys_.find(lines); keys != keys_.end()) {
    const auto it = keys->second.find(Folded(key));
    return it == keys->second.end() ? nullptr : it->second;
  }
  for (const TIniLine& line : *lines)
    if (line.KeyEnd == key.size() && ini::SameText(line.Key(), key)) return &line;
  return nullptr;
}

std::optional<std::string> TIniIndex::ReadString(std::string_view section, std::string_view key) const {
  const TIniLine* line = Find(section, key);
  if (line == nullptr) return std::nullopt;
  return line->Text.substr(line->KeyEnd + 1, ini::kMaxLineLength);
}

std::int32_t TIniIndex::ReadInteger(std::string_view section, std::string_view key, std::int32_t defaultValue) const {
  std::string text = ReadString(section, key).value_or("");
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.replace(0, 2, "$");
  return ini::ParseInteger(text).value_or(defaultValue);
}

std::string TEntryRefReport::BaseName() const {
  if (Spec == nullptr) return "Entry";
  if (Spec->Section == TSectionKind::Pic) return "Pic" + std::to_string(Number) + std::string(Spec->ExtractName);
  if (Spec->Section == TSectionKind::Snd) return "Snd" + std::to_string(Number);
  return std::string(Spec->ExtractName);
}

bool TPayloadReport::Broken() const {
  if (!Trailer || !TrailerConsistent || !ConfigOk()) return true;
  for (const TEntryRefReport& ref : Entries)
    if (ref.Broken()) return true;
  return false;
}

std::unique_ptr<TBiggerIniFile> IniFromText(std::string_view text) {
  auto ini = std::make_unique<TBiggerIniFile>(NoFiles(), std::filesystem::path());
  ini->LoadFromText(text);
  return ini;
}

TPayloadReport InspectPayload(platform::IReadableFile& file, bool checkPictures) {
  TPayloadReport report;
  try {
    report.FileSize = file.Size();
    report.Trailer = ReadPayloadTrailer(file);
    if (!report.Trailer) {
      report.Notes.push_back("the file is shorter than a trailer");
      return report;
    }
    const PayloadTrailer& t = *report.Trailer;
    report.TrailerConsistent = t.ConfigPosition >= 0 && t.ConfigStoredSize >= 4 &&
                               static_cast<std::uint64_t>(t.ConfigPosition) + static_cast<std::uint64_t>(t.ConfigStoredSize) ==
                                   report.FileSize - kPayloadTrailerSize;
    std::uint32_t inflated = 0;
    report.ConfigStatus = ReadEntryInflatedSize(file, t.ConfigPosition, t.ConfigStoredSize, inflated);
    if (report.ConfigStatus != TEntryStatus::Ok) return report;
    report.ConfigInflatedSize = inflated;
    if (inflated > kMaxConfigTextSize) {
      report.ConfigStatus = TEntryStatus::TooLarge;
      return report;
    }
    std::string text;
    report.ConfigStatus = InflateEntry(
        file, t.ConfigPosition, t.ConfigStoredSize,
        [&](std::span<const std::byte> chunk) {
          text.append(reinterpret_cast<const char*>(chunk.data()), chunk.size());
          return true;
        },
        true);
    report.ConfigText = std::move(text);
    // A damaged stream may still have delivered readable text; it is shown, but its
    // references are not trusted.
    if (report.ConfigStatus != TEntryStatus::Ok) return report;

    const std::unique_ptr<TBiggerIniFile> iniFile = IniFromText(report.ConfigText);
    const TIniIndex index(*iniFile);
    const TIniIndex* ini = &index;
    TEntryChecker checker(file, checkPictures);
    for (const TEntryRefSpec& spec : EntryRefSpecs()) {
      if (spec.Section == TSectionKind::Settings) AddRef(*ini, spec, "Settings", 0, false, checker, report.Entries);
      if (spec.Section == TSectionKind::Background)
        AddRef(*ini, spec, "Background", 0, false, checker, report.Entries);
    }
    // Items: every Pic<n> section that is there, in file order.
    const std::int32_t picCount = ini->ReadInteger("AppInfo", "PicCount", 0);
    std::int32_t picSections = 0;
    for (int i = 0; i < iniFile->Sections().Count(); ++i) {
      std::int32_t n = 0;
      const std::string name = iniFile->Sections().Name(i);
      const TSectionSpec* spec = FindSectionSpec(name, n);
      if (spec == nullptr || spec->Kind != TSectionKind::Pic) continue;
      ++picSections;
      if (n > picCount) report.Notes.push_back("section [" + name + "] lies beyond PicCount and is not played");
      for (const TEntryRefSpec& ref : EntryRefSpecs())
        if (ref.Section == TSectionKind::Pic) AddRef(*ini, ref, name, n, ref.PositionKey == "FilePos", checker, report.Entries);
    }
    if (picCount > picSections)
      report.Notes.push_back("PicCount is " + std::to_string(picCount) + " but there are " +
                             std::to_string(picSections) + " item sections");
    // Sounds: every number that one of the three keys of section Snd carries.
    std::set<std::int32_t> soundNumbers;
    TStrings keys;
    iniFile->ReadSection("Snd", keys);
    std::int32_t sndSpecNumber = 0;
    const TSectionSpec* sndSpec = FindSectionSpec("Snd", sndSpecNumber);
    for (const std::string& key : keys) {
      std::int32_t n = 0;
      if (FindKeySpec(*sndSpec, key, n) != nullptr) soundNumbers.insert(n);
    }
    const std::int32_t sndCount = ini->ReadInteger("AppInfo", "SndCount", 0);
    for (const std::int32_t n : soundNumbers) {
      if (n > sndCount) report.Notes.push_back("sound " + std::to_string(n) + " lies beyond SndCount and is not played");
      for (const TEntryRefSpec& ref : EntryRefSpecs())
        if (ref.Section == TSectionKind::Snd) AddRef(*ini, ref, "Snd", n, true, checker, report.Entries);
    }
  } catch (...) {
    // Out of memory on a forged file: what was found so far is the report.
    report.Notes.push_back("reading stopped early: out of memory");
    if (report.ConfigStatus == TEntryStatus::Ok && report.Entries.empty()) report.ConfigStatus = TEntryStatus::TooLarge;
  }
  return report;
}

}  // namespace lumora
