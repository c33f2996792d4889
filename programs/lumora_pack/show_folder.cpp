#include "show_folder.h"

#include "imaging/pattern.h"
#include "ini/ini_text.h"

#include <algorithm>
#include <array>
#include <cctype>
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

std::string Located(const TWhere& where, const std::string& what) {
  std::string message = where.File;
  if (where.Line > 0) message += ", line " + std::to_string(where.Line);
  if (!where.Section.empty()) message += ", section [" + where.Section + "]";
  if (!where.Key.empty()) message += ", key " + where.Key;
  if (!where.Path.empty()) message += ", path \"" + where.Path + "\"";
  return message + ": " + what;
}

[[noreturn]] void Fail(const TWhere& where, const std::string& what) { throw EPackInputError(Located(where, what)); }

std::string FoldAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The path as written, relative to the folder, with "/" between its parts.
std::string Generic(const std::filesystem::path& path) {
  const auto text = path.generic_u8string();
  return std::string(text.begin(), text.end());
}

// Whether path lies inside dir (both canonical).
bool Inside(const std::filesystem::path& path, const std::filesystem::path& dir) {
  auto p = path.begin();
  for (auto d = dir.begin(); d != dir.end(); ++d, ++p) {
    if (d->empty()) continue;  // a trailing separator
    if (p == path.end() || *p != *d) return false;
  }
  return true;
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
    FinishSection();
    CheckNumbering();
    DropUnusedEntries();
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
    if (const auto adjusted = PlayerAdjustment(*spec, value))
      folder_.Warnings.push_back(Located(where, "\"" + value + "\": " + *adjusted));
    values_.insert_or_assign(std::string(spec->Name), TValue{value, where});
    if (currentSpec_->Kind == TSectionKind::Snd) soundNumbers_.insert(number);

    if (spec->Kind == TKeyKind::Extension || spec->Kind == TKeyKind::FolderPath) {
      AddReference(*spec, key, number, value, where);
      return;
    }
    current_->Lines.push_back(TFolderLine{std::string(line), std::nullopt});
  }

  struct TValue {
    std::string Text;
    TWhere Where;
  };

  const TValue* ValueOf(std::string_view key) const {
    const auto it = values_.find(std::string(key));
    return it == values_.end() ? nullptr : &it->second;
  }

  // Checks that need the whole section: keys that act only together.
  void FinishSection() {
    if (current_ == nullptr) return;
    if (current_->Kind == TSectionKind::Background) CheckPattern();
    if (current_->Kind == TSectionKind::Pic) {
      const TValue* opacity = ValueOf("Opacity");
      const TValue* masked = ValueOf("Masked");
      const TValue* mask = ValueOf("MaskedFileName");
      const bool composed = masked != nullptr && masked->Text == "1" && mask != nullptr && !mask->Text.empty();
      if (opacity != nullptr && !composed)
        folder_.Warnings.push_back(Located(opacity->Where, "Opacity acts only through a mask (Masked=1 and "
                                                           "MaskedFileName); the player ignores it here"));
    }
    if (current_->Kind == TSectionKind::Settings) {
      const TValue* use = ValueOf("IsUseSplash");
      auto& lines = current_->Lines;
      const auto splash = std::find_if(lines.begin(), lines.end(), [](const TFolderLine& l) {
        return l.Ref && l.Ref->ExtensionKey == "SplashFile";
      });
      if (use != nullptr && use->Text == "0" && splash != lines.end()) {
        lines.erase(splash);
        folder_.Warnings.push_back(Located(ValueOf("SplashFile")->Where,
                                           "IsUseSplash=0: the player never shows the splash picture, so it is "
                                           "not stored"));
      }
    }
    values_.clear();
  }

  // The pattern string read by the player's own parser. A string the player would
  // refuse with its message is refused here when the background uses it, and named
  // in a warning when it does not (yet).
  void CheckPattern() {
    const TValue* pattern = ValueOf("BgPatternString");
    if (pattern == nullptr) return;
    const std::optional<std::string> problem = PatternStringProblem(pattern->Text);
    if (!problem) return;
    const TValue* style = ValueOf("BgStyle");
    const TValue* fill = ValueOf("BgBgpStyle");
    const bool used = style != nullptr && (style->Text == "2" || (style->Text == "3" && fill != nullptr && fill->Text == "3"));
    const bool noBar = pattern->Text.find('|') == std::string::npos;
    if (used && !noBar) Fail(pattern->Where, *problem);
    folder_.Warnings.push_back(Located(pattern->Where, *problem + (used ? "" : " (the background does not use it now)")));
  }

  // Entries that no line refers to any more (a splash left out) are not stored; the
  // others keep their order.
  void DropUnusedEntries() {
    std::vector<std::size_t> renumber(folder_.Entries.size(), SIZE_MAX);
    std::vector<TFolderEntry> kept;
    for (TFolderSection& section : folder_.Sections)
      for (TFolderLine& line : section.Lines) {
        if (!line.Ref) continue;
        std::size_t& to = renumber[line.Ref->Entry];
        if (to == SIZE_MAX) {
          to = kept.size();
          kept.push_back(folder_.Entries[line.Ref->Entry]);
        }
        line.Ref->Entry = to;
      }
    folder_.Entries = std::move(kept);
  }

  void StartSection(std::string name, const TWhere& where) {
    FinishSection();
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
    std::filesystem::path relative;
    const std::filesystem::path resolved = Resolve(value, where, relative);
    std::error_code ec;
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

  // The file that a media path names. Paths are relative to the folder and stay inside
  // it: absolute paths, "..", and links that lead out are refused, so that packing a
  // show never copies a file from elsewhere on the machine into it. Links inside the
  // folder are followed. A name missing as written is matched ignoring letter case when
  // exactly one file fits, as Windows would find it.
  std::filesystem::path Resolve(const std::string& value, const TWhere& where, std::filesystem::path& relative) {
    std::string portable = value;
    std::replace(portable.begin(), portable.end(), '\\', '/');
    const bool drive = portable.size() >= 2 && std::isalpha(static_cast<unsigned char>(portable[0])) && portable[1] == ':';
    if (portable.front() == '/' || drive)
      Fail(where, "an absolute path; media paths are relative to the show folder and stay inside it");
    relative = std::filesystem::u8path(portable).lexically_normal();
    if (relative.empty() || *relative.begin() == "..")
      Fail(where, "leads outside the show folder; media paths are relative to the folder and stay inside it");
    std::filesystem::path resolved = folder_.Dir / relative;
    std::error_code ec;
    if (!std::filesystem::exists(resolved, ec)) {
      std::filesystem::path found;
      if (!MatchIgnoringCase(relative, where, found)) {
        std::string what = "file not found (" + Utf8(resolved) + ")";
        const std::vector<std::string> near = NearNames(relative);
        if (!near.empty()) {
          what += "; near names:";
          for (const std::string& n : near) what += " " + n;
        }
        Fail(where, what);
      }
      folder_.Warnings.push_back(Located(where, "no file of that exact name; using \"" +
                                                     Generic(found.lexically_relative(folder_.Dir)) +
                                                     "\" (letter case ignored)"));
      resolved = found;
    }
    if (std::filesystem::is_directory(resolved, ec)) Fail(where, "names a folder, not a file");
    std::error_code realError, dirError;
    const std::filesystem::path real = std::filesystem::weakly_canonical(resolved, realError);
    const std::filesystem::path realDir = std::filesystem::weakly_canonical(folder_.Dir, dirError);
    if (!realError && !dirError && !Inside(real, realDir))
      Fail(where, "a link that leads outside the show folder (to " + Utf8(real) +
                      "); copy the file into the folder instead");
    if (!fs_.FileExists(resolved)) Fail(where, "file not found (" + Utf8(resolved) + ")");
    return resolved;
  }

  // Walks the relative path part by part, ignoring letter case; true when exactly one
  // file fits. Several fits are refused with their names.
  bool MatchIgnoringCase(const std::filesystem::path& relative, const TWhere& where, std::filesystem::path& found) {
    std::vector<std::filesystem::path> fits{folder_.Dir};
    for (const std::filesystem::path& part : relative) {
      std::vector<std::filesystem::path> next;
      const std::string wanted = FoldAscii(Utf8(part));
      for (const std::filesystem::path& dir : fits) {
        std::error_code ec;
        for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
          if (FoldAscii(Utf8(it->path().filename())) == wanted) next.push_back(it->path());
      }
      fits = std::move(next);
    }
    std::sort(fits.begin(), fits.end());
    if (fits.size() > 1) {
      std::string names;
      for (const std::filesystem::path& p : fits) names += " \"" + Generic(p.lexically_relative(folder_.Dir)) + "\"";
      Fail(where, "file not found; ignoring letter case, several files fit:" + names);
    }
    if (fits.empty()) return false;
    found = fits.front();
    return true;
  }

  // Files beside where the missing one should be whose names are close to its name.
  std::vector<std::string> NearNames(const std::filesystem::path& relative) const {
    std::vector<std::string> near;
    const std::string wanted = Utf8(relative.filename());
    const std::size_t allowed = std::max<std::size_t>(2, wanted.size() / 3);
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder_.Dir / relative.parent_path(), ec), end;
         !ec && it != end && near.size() < 5; it.increment(ec)) {
      const std::string name = Utf8(it->path().filename());
      if (EditDistance(name, wanted) <= allowed) near.push_back(Generic(relative.parent_path() / it->path().filename()));
    }
    std::sort(near.begin(), near.end());
    return near;
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
  std::map<std::string, TValue> values_;  // the current section's keys, by their proper name
};

}  // namespace

std::string ExtensionOf(const std::filesystem::path& path) {
  const std::string name = Utf8(path.filename());
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return {};
  return name.substr(dot);
}

std::optional<std::string> PatternStringProblem(std::string_view pattern) {
  const std::string refused = "the player would show \"" + std::string(PatternErrorText) + "\": ";
  const std::size_t bar = pattern.find('|');
  if (bar == std::string_view::npos)
    return "no \"|\" between the name and the seven numbers: the player paints no pattern";
  const std::vector<std::string> items = SplitPatternList(pattern.substr(bar + 1), 7);
  const std::string layout = "; after \"|\" come seven numbers: three functions 0 to 40 (blue, green, red), three "
                             "offsets and m, as in \"Stripes|9,9,9,0,0,0,2\"";
  if (items.size() < 7) return refused + std::to_string(items.size()) + " numbers after \"|\"" + layout;
  std::array<std::int32_t, 7> numbers{};
  for (std::size_t i = 0; i < 7; ++i) {
    const std::optional<std::int32_t> n = ParsePatternInteger(items[i]);
    if (!n) return refused + "number " + std::to_string(i + 1) + " (\"" + items[i] + "\") is not a whole number" + layout;
    numbers[i] = *n;
  }
  for (std::size_t i = 0; i < 3; ++i)
    if (numbers[i] < 0 || numbers[i] >= PatternFunctionCount)
      return refused + "number " + std::to_string(i + 1) + " is " + std::to_string(numbers[i]) +
             ", but the functions are numbered 0 to 40";
  TPatternSettings settings;
  if (ParsePatternString(pattern, settings) != TPatternParse::Ok) return refused + "the numbers cannot be read" + layout;
  // Every division the catalogue makes is by m or by a value at least 1 when m is not 0,
  // so a few pixels show whether painting fails.
  for (const std::int32_t function : {settings.FunctionB, settings.FunctionG, settings.FunctionR}) {
    TPatternSettings one = settings;
    one.FunctionB = one.FunctionG = one.FunctionR = function;
    TBitmap32 probe(4, 4, 0);
    if (!PaintPatternSettings(probe, one))
      return refused + "function " + std::to_string(function) + " divides by m, the seventh number, which is 0";
  }
  return std::nullopt;
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
