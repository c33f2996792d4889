#include "show_folder.h"

#include "ini/ini_text.h"

#include <algorithm>
#include <map>
#include <set>

namespace lumora::pack {
namespace {

std::string Utf8(const std::filesystem::path& path) {
  const auto text = path.u8string();
  return std::string(text.begin(), text.end());
}

struct TWhere {
  explicit TWhere(std::string file, std::size_t line = 0, std::string section = {}, std::string key = {})
      : File(std::move(file)), Line(line), Section(std::move(section)), Key(std::move(key)) {}
  std::string File;
  std::size_t Line;
  std::string Section;
  std::string Key;
  std::string Path;
};

[[noreturn]] void Fail(const TWhere& where, const std::string& what) {
  std::string message = where.File;
  if (where.Line > 0) message += ", line " + std::to_string(where.Line);
  if (!where.Section.empty()) message += ", section [" + where.Section + "]";
  if (!where.Key.empty()) message += ", key " + where.Key;
  if (!where.Path.empty()) message += ", path \"" + where.Path + "\"";
  throw EPackInputError(message + ": " + what);
}

std::string ReadWholeFile(platform::IFileSystem& fs, const std::filesystem::path& path, const TWhere& where) {
  if (!fs.FileExists(path)) Fail(where, "file not found");
  const std::unique_ptr<platform::IReadableFile> file = fs.OpenForReadDenyWrite(path);
  if (!file) Fail(where, "cannot open the file");
  if (file->Size() > (64u << 20)) Fail(where, "too large for a configuration");
  std::string text(static_cast<std::size_t>(file->Size()), '\0');
  if (!file->ReadAt(0, std::as_writable_bytes(std::span<char>(text.data(), text.size()))))
    Fail(where, "cannot read the file");
  return text;
}

class TFolderReader {
 public:
  TFolderReader(platform::IFileSystem& fs, const std::filesystem::path& dir) : fs_(fs) {
    folder_.Dir = dir;
    folder_.IniPath = dir / std::string(kShowIniName);
    file_ = Utf8(folder_.IniPath);
  }

  TShowFolder Read() {
    const std::string raw = ReadWholeFile(fs_, folder_.IniPath, TWhere{file_});
    // show.ini is read by the packer only, so Unix line ends are welcome here; the
    // configuration it writes always has CR LF.
    std::string text;
    text.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] == '\n' && (i == 0 || raw[i - 1] != '\r')) {
        text.push_back('\r');
      } else {
        text.push_back(raw[i]);
      }
    }
    std::size_t lineNumber = 0;
    ini::SplitIniText(text, [&](std::string_view line, bool cut) {
      ++lineNumber;
      OnLine(line, cut, lineNumber);
    });
    CheckNumbering();
    return std::move(folder_);
  }

 private:
  void OnLine(std::string_view line, bool cut, std::size_t lineNumber) {
    TWhere where{file_, lineNumber, current_ != nullptr ? current_->Name : std::string()};
    if (cut) Fail(where, "the line is longer than 255 characters; the player would cut it");
    if (line.empty()) return;
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      StartSection(std::string(line.substr(1, line.size() - 2)), where);
      return;
    }
    if (current_ == nullptr) Fail(where, "text before the first [section]");
    if (current_->Kind == TSectionKind::PicCaption || current_->Kind == TSectionKind::FreeText) {
      current_->Lines.push_back(TFolderLine{std::string(line), std::nullopt});
      return;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) Fail(where, "expected a line Key=Value");
    const std::string key(line.substr(0, equals));
    const std::string value(line.substr(equals + 1));
    where.Key = key;
    std::int32_t number = 0;
    const TKeySpec* spec = FindKeySpec(*currentSpec_, key, number);
    if (spec == nullptr) {
      std::string what = "unknown key";
      if (key.find(' ') != std::string::npos || key.find('\t') != std::string::npos)
        what += " (spaces around \"=\" belong to the key)";
      if (const auto suggestion = SuggestKeyName(*currentSpec_, key)) what += "; did you mean " + *suggestion + "?";
      Fail(where, what);
    }
    std::string folded;
    for (const char c : key) folded.push_back(static_cast<char>(ini::FoldCase(static_cast<unsigned char>(c))));
    if (!keysSeen_.insert(folded).second) Fail(where, "the key appears twice in this section");
    if (spec->Kind == TKeyKind::Filled)
      Fail(where, "lumora-pack fills this key in; leave it out and name the file in the file key instead");
    if (const auto problem = CheckKeyValue(*spec, value)) Fail(where, *problem + ", not \"" + value + "\"");
    if (currentSpec_->Kind == TSectionKind::Snd) soundNumbers_.insert(number);

    if (spec->Kind == TKeyKind::Extension || spec->Kind == TKeyKind::FolderPath) {
      AddReference(*spec, key, number, value, where);
      return;
    }
    current_->Lines.push_back(TFolderLine{std::string(line), std::nullopt});
  }

  void StartSection(std::string name, const TWhere& where) {
    std::int32_t number = 0;
    const TSectionSpec* spec = FindSectionSpec(name, number);
    TWhere at = where;
    at.Section = name;
    if (spec == nullptr) {
      std::string what = "unknown section";
      if (const auto suggestion = SuggestSectionName(name)) what += "; did you mean [" + *suggestion + "]?";
      Fail(at, what);
    }
    std::string folded;
    for (const char c : name) folded.push_back(static_cast<char>(ini::FoldCase(static_cast<unsigned char>(c))));
    if (!sectionsSeen_.insert(folded).second)
      Fail(at, "the section appears twice; the player would read only the first");
    if (spec->Kind == TSectionKind::Pic) picNumbers_[number] = name;
    if (spec->Kind == TSectionKind::PicCaption) captionNumbers_[number] = name;
    keysSeen_.clear();
    folder_.Sections.push_back(TFolderSection{name, spec->Kind, {}});
    current_ = &folder_.Sections.back();
    currentSpec_ = spec;
    if (spec->Kind == TSectionKind::Pic) pendingItems_[number] = where.Line;
  }

  const TEntryRefSpec* RefFor(const TKeySpec& key) {
    for (const TEntryRefSpec& ref : EntryRefSpecs()) {
      if (ref.Section != currentSpec_->Kind) continue;
      if (key.Kind == TKeyKind::Extension && ref.ExtensionKey == key.Name) return &ref;
      if (key.Kind == TKeyKind::FolderPath && ref.FolderKey == key.Name) return &ref;
    }
    return nullptr;
  }

  void AddReference(const TKeySpec& key, const std::string& written, std::int32_t number, const std::string& value,
                    TWhere where) {
    const TEntryRefSpec* ref = RefFor(key);
    const bool required = currentSpec_->Kind == TSectionKind::Pic && key.Name == "PicFileName";
    if (required) pendingItems_.erase(NumberOfCurrent());
    if (value.empty()) {
      if (required || currentSpec_->Kind == TSectionKind::Snd)
        Fail(where, "needs the path of a file relative to the show folder");
      return;  // no entry: the keys stay out and the player reads "none"
    }
    where.Path = value;
    std::string portable = value;
    std::replace(portable.begin(), portable.end(), '\\', '/');
    const std::filesystem::path relative = std::filesystem::u8path(portable);
    const std::filesystem::path resolved = (folder_.Dir / relative).lexically_normal();
    std::error_code ec;
    if (std::filesystem::is_directory(resolved, ec)) Fail(where, "names a folder, not a file");
    if (!fs_.FileExists(resolved)) Fail(where, "file not found (" + Utf8(resolved) + ")");
    const std::unique_ptr<platform::IReadableFile> file = fs_.OpenForReadDenyWrite(resolved);
    if (!file) Fail(where, "cannot open the file (" + Utf8(resolved) + ")");
    std::byte probe[1];
    if (file->Size() > 0 && !file->ReadAt(0, probe)) Fail(where, "cannot read the file");
    if (file->Size() > 0xFFFFFFFFull) Fail(where, "the file is larger than 4 GiB, more than an entry can hold");
    if (ExtensionOf(relative).size() > 32) Fail(where, "the file name's extension is longer than 32 characters");

    std::filesystem::path identity = std::filesystem::weakly_canonical(resolved, ec);
    if (ec) identity = resolved;
    const std::string identityText = Utf8(identity);
    std::size_t index = 0;
    if (const auto it = entryIndex_.find(identityText); it != entryIndex_.end()) {
      index = it->second;
    } else {
      index = folder_.Entries.size();
      folder_.Entries.push_back(TFolderEntry{resolved, value, file->Size()});
      entryIndex_[identityText] = index;
    }
    const std::string suffix = currentSpec_->Kind == TSectionKind::Snd ? std::to_string(number) : std::string();
    TFolderRef out;
    out.Entry = index;
    out.ExtensionKey = ref->ExtensionKey.empty() ? std::string() : std::string(ref->ExtensionKey) + suffix;
    out.Extension = ref->ExtensionKey.empty() ? std::string(ref->FixedExtension) : ExtensionOf(relative);
    out.PositionKey = std::string(ref->PositionKey) + suffix;
    out.SizeKey = std::string(ref->SizeKey) + suffix;
    (void)written;
    current_->Lines.push_back(TFolderLine{std::string(), out});
  }

  std::int32_t NumberOfCurrent() const {
    std::int32_t n = 0;
    FindSectionSpec(current_->Name, n);
    return n;
  }

  void CheckNumbering() {
    for (const auto& [n, line] : pendingItems_)
      Fail(TWhere{file_, line, "Pic" + std::to_string(n), "PicFileName"},
           "every item needs PicFileName, the path of its picture, movie or video");
    std::int32_t expected = 1;
    for (const auto& [n, name] : picNumbers_) {
      if (n != expected)
        Fail(TWhere{file_, 0, "Pic" + std::to_string(expected)},
             "the section is missing: items are numbered Pic1, Pic2, ... without gaps (found [" + name + "])");
      ++expected;
    }
    folder_.PicCount = expected - 1;
    for (const auto& [n, name] : captionNumbers_)
      if (picNumbers_.count(n) == 0) Fail(TWhere{file_, 0, name}, "a caption for an item that has no section [Pic" + std::to_string(n) + "]");
    expected = 1;
    for (const std::int32_t n : soundNumbers_) {
      if (n != expected)
        Fail(TWhere{file_, 0, "Snd", "SndFileName" + std::to_string(expected)},
             "sounds are numbered 1, 2, ... without gaps (found sound " + std::to_string(n) + ")");
      ++expected;
    }
    folder_.SndCount = expected - 1;
    // Every sound number that appears needs its file; FilePos/FileSize are refused above.
  }

  platform::IFileSystem& fs_;
  TShowFolder folder_;
  std::string file_;
  TFolderSection* current_ = nullptr;
  const TSectionSpec* currentSpec_ = nullptr;
  std::set<std::string> sectionsSeen_;
  std::set<std::string> keysSeen_;
  std::map<std::int32_t, std::string> picNumbers_;
  std::map<std::int32_t, std::string> captionNumbers_;
  std::map<std::int32_t, std::size_t> pendingItems_;
  std::set<std::int32_t> soundNumbers_;
  std::map<std::string, std::size_t> entryIndex_;
};

}  // namespace

std::string ExtensionOf(const std::filesystem::path& path) {
  const std::string name = Utf8(path.filename());
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return {};
  return name.substr(dot);
}

TShowFolder ReadShowFolder(platform::IFileSystem& fs, const std::filesystem::path& dir) {
  return TFolderReader(fs, dir).Read();
}

std::string BuildConfigText(const TShowFolder& folder, const std::vector<TEntryPlacement>& placements) {
  std::string text;
  auto line = [&](std::string_view s) { text.append(s).append("\r\n"); };
  const std::string counts[] = {"PicCount=" + std::to_string(folder.PicCount),
                                "SndCount=" + std::to_string(folder.SndCount)};
  const bool hasAppInfo = std::any_of(folder.Sections.begin(), folder.Sections.end(),
                                      [](const TFolderSection& s) { return s.Kind == TSectionKind::AppInfo; });
  if (!hasAppInfo) {
    line("[AppInfo]");
    for (const std::string& c : counts) line(c);
    line("");
  }
  for (const TFolderSection& section : folder.Sections) {
    std::vector<std::string> lines;
    if (section.Kind == TSectionKind::AppInfo) lines.assign(std::begin(counts), std::end(counts));
    for (const TFolderLine& l : section.Lines) {
      if (!l.Ref) {
        lines.push_back(l.Text);
        continue;
      }
      const TEntryPlacement& at = placements.at(l.Ref->Entry);
      if (!l.Ref->ExtensionKey.empty()) lines.push_back(l.Ref->ExtensionKey + "=" + l.Ref->Extension);
      lines.push_back(l.Ref->PositionKey + "=" + std::to_string(at.Position));
      lines.push_back(l.Ref->SizeKey + "=" + std::to_string(at.StoredSize));
    }
    // A section without lines would not survive a rewrite; leave it out here too.
    if (lines.empty()) continue;
    line("[" + section.Name + "]");
    for (const std::string& l : lines) line(l);
    line("");
  }
  return text;
}

}  // namespace lumora::pack
