#include "inspector.h"

#include "ini/ini_text.h"
#include "show/show_config.h"

#include <cinttypes>
#include <cstdio>
#include <map>
#include <set>
#include <tuple>

namespace lumora::inspect {
namespace {

std::string Format(const char* format, auto... args) {
  char buf[512];
  std::snprintf(buf, sizeof buf, format, args...);
  return buf;
}

std::string Fold(std::string_view text) {
  std::string out;
  for (const char c : text) out.push_back(static_cast<char>(ini::FoldCase(static_cast<unsigned char>(c))));
  return out;
}

std::string Utf8(const std::filesystem::path& path) {
  const auto text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace

std::string Printable(std::string_view text);

namespace {

// "[Section]" from stored text. Built by appending: "[" + std::string makes mingw GCC 12
// warn of a false overlap (-Wrestrict).
std::string Bracketed(std::string_view section) {
  std::string out(1, '[');
  out += Printable(section);
  out += ']';
  return out;
}

}  // namespace

std::string Printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) {
      out += Format("\\x%02X", u);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::optional<std::string> ConfigProblem(const TPayloadReport& report) {
  if (!report.Trailer) return "the file is shorter than a trailer; it holds no configuration";
  if (report.ConfigOk()) return std::nullopt;
  return "the configuration cannot be read: " + std::string(EntryStatusText(report.ConfigStatus)) +
         (report.TrailerConsistent ? "" : " (the trailer does not point at the end of the file)");
}

std::string FormatConfig(const TPayloadReport& report) {
  std::string out;
  ini::SplitIniText(report.ConfigText, [&](std::string_view line, bool) {
    out += Printable(line);
    out += '\n';
  });
  return out;
}

// The Flash and video items (MediaStyle 1) with their kind and number of plays.
std::string FormatMediaItems(const TPayloadReport& report) {
  if (report.ConfigText.empty()) return {};
  std::string out;
  try {
    const std::unique_ptr<TBiggerIniFile> ini = IniFromText(report.ConfigText);
    const std::int32_t count = ini->ReadInteger("AppInfo", "PicCount", 0);
    for (std::int32_t n = 1; n <= count && n <= 100000; ++n) {
      const std::string section = "Pic" + std::to_string(n);
      if (ini->ReadInteger(section, "MediaStyle", 0) != 1) continue;
      std::string ext = ini->ReadString(section, "PicFileName", "");
      std::string lower = ext;
      for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      const std::int32_t repeat = ini->ReadInteger(section, "RepeatTimes", 1);
      // Quoted by appending, as Bracketed is (mingw GCC 12's false -Wrestrict).
      std::string quoted(1, '"');
      quoted += Printable(ext);
      quoted += '"';
      out += Format("  [%s] %-12s %-10s %s%s\n", section.c_str(), lower == ".swf" ? "Flash movie" : "video",
                    quoted.c_str(),
                    repeat == 0   ? "plays until the show ends"
                    : repeat == 1 ? "plays once"
                                  : ("plays " + std::to_string(repeat) + " times").c_str(),
                    ini->ReadInteger(section, "Shaped", 0) != 0 ? ", shaped" : "");
    }
  } catch (...) {
    return {};
  }
  return out.empty() ? out : "media items:\n" + out;
}

std::string FormatReport(const std::filesystem::path& file, const TPayloadReport& report, bool withConfig) {
  std::string out = "file: " + Printable(Utf8(file)) + Format(" (%" PRIu64 " bytes)\n", report.FileSize);
  if (!report.Trailer) {
    out += "trailer: missing (the file is shorter than 16 bytes)\n";
  } else {
    const PayloadTrailer& t = *report.Trailer;
    out += Format("trailer: flag word %" PRIu32 ", install gate %" PRIu32 ", configuration at %" PRId32
                  ", stored size %" PRId32 " (%s)\n",
                  t.FlagWord, t.InstallGate, t.ConfigPosition, t.ConfigStoredSize,
                  report.TrailerConsistent ? "ends at the trailer" : "BROKEN: does not end at the trailer");
    out += t.InstallGate != 0
               ? "install gate: open (started without a switch, or with /I or /O, the file installs itself)\n"
               : "install gate: closed (an installed copy, or packed with --no-install: it never installs itself)\n";
  }
  if (report.Trailer) {
    out += "configuration: ";
    if (report.ConfigInflatedSize) out += Format("%" PRIu32 " bytes, ", *report.ConfigInflatedSize);
    out += report.ConfigOk() ? std::string("ok\n")
                             : "BROKEN: " + std::string(EntryStatusText(report.ConfigStatus)) + "\n";
  }
  if (!report.Entries.empty()) {
    out += "entries:\n";
    out += Format("  %-34s %-10s %11s %11s %11s  %s\n", "section/key", "extension", "position", "stored", "inflated",
                  "status");
    for (const TEntryRefReport& e : report.Entries) {
      // The texts below are appended piece by piece: "literal" + std::string makes mingw
      // GCC 12 warn of a false overlap (-Wrestrict).
      std::string where(1, '[');
      where += Printable(e.Section);
      where += "] ";
      where += e.Key;
      std::string quoted(1, '"');
      quoted += Printable(e.Extension);
      quoted += '"';
      const std::string inflated = e.InflatedSize ? std::to_string(*e.InflatedSize) : std::string("-");
      std::string status = e.Status == TEntryStatus::Ok ? "ok" : std::string(EntryStatusText(e.Status));
      if (e.Broken()) status = "BROKEN: " + status;
      out += Format("  %-34s %-10s %11" PRId32 " %11" PRId32 " %11s  %s\n", where.c_str(),
                    quoted.c_str(), e.Position, e.StoredSize, inflated.c_str(),
                    status.c_str());
    }
  }
  out += FormatMediaItems(report);
  for (const std::string& note : report.Notes) out += "note: " + Printable(note) + "\n";
  out += report.Broken() ? "result: BROKEN\n" : "result: ok\n";
  if (withConfig && !report.ConfigText.empty()) {
    out += "configuration text:\n";
    out += FormatConfig(report);
  }
  return out;
}

std::string SafeExtension(std::string_view extension) {
  if (extension.empty()) return {};
  if (extension.size() > 32 || extension.back() == '.') return ".bin";
  for (const char c : extension) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                    c == '-' || c == '.';
    if (!ok) return ".bin";
  }
  return std::string(extension);
}

namespace {

class TExtractor {
 public:
  TExtractor(platform::IFileSystem& fs, platform::IReadableFile& file, const TPayloadReport& report,
             const std::filesystem::path& dir)
      : fs_(fs), file_(file), report_(report), dir_(dir) {}

  TExtractResult Run() {
    if (!report_.ConfigOk()) {
      result_.Ok = false;
      result_.Notes.push_back("the configuration is broken; nothing to extract");
      return result_;
    }
    std::error_code ec;
    std::filesystem::create_directories(dir_, ec);
    if (!std::filesystem::is_directory(dir_, ec)) {
      result_.Ok = false;
      result_.Notes.push_back("cannot create the folder " + Utf8(dir_));
      return result_;
    }
    for (const TEntryRefReport& e : report_.Entries) Extract(e);
    WriteShowIni();
    return result_;
  }

 private:
  // The file name of an entry, or empty when it could not be extracted.
  std::string Extract(const TEntryRefReport& e) {
    if (e.Status != TEntryStatus::Ok) {
      if (e.Broken())
        result_.Notes.push_back("[" + e.Section + "] " + e.Key + ": not extracted (" +
                                std::string(EntryStatusText(e.Status)) + ")");
      return {};
    }
    // One file per entry and extension: the same entry named with two extensions must
    // keep both, or the re-packed show would tell the player a different one.
    const auto key = std::make_tuple(e.Position, e.StoredSize, e.Extension);
    if (const auto it = names_.find(key); it != names_.end()) return it->second;
    const std::string extension = SafeExtension(e.Extension);
    if (extension != e.Extension)
      result_.Notes.push_back("[" + e.Section + "] " + e.Key + ": extension \"" + Printable(e.Extension) +
                              "\" is not a safe file name; written as " + extension);
    std::string name = e.BaseName() + extension;
    for (int i = 2; used_.count(Fold(name)) != 0; ++i) name = e.BaseName() + "_" + std::to_string(i) + extension;
    if (!WriteFile(name, [&](platform::IWritableFile& out) {
          return InflateEntry(file_, e.Position, e.StoredSize,
                              [&](std::span<const std::byte> chunk) { return out.Write(chunk); },
                              true) == TEntryStatus::Ok;
        })) {
      return {};
    }
    names_[key] = name;
    return name;
  }

  template <class TFill>
  bool WriteFile(const std::string& name, TFill&& fill) {
    const std::filesystem::path target = dir_ / std::filesystem::u8path(name);
    std::error_code ec;
    // A link planted under one of our names could lead the write elsewhere.
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(target, ec))) {
      result_.Ok = false;
      result_.Notes.push_back(name + ": a link of that name is in the way; not written");
      return false;
    }
    used_.insert(Fold(name));
    std::unique_ptr<platform::IWritableFile> out = fs_.CreateForWrite(target);
    bool ok = out != nullptr && fill(*out);
    if (out) ok = out->Close() && ok;
    if (!ok) {
      fs_.RemoveFile(target);
      result_.Ok = false;
      result_.Notes.push_back(name + ": could not be written");
      return false;
    }
    result_.Written.push_back(name);
    return true;
  }

  // The first entry of the report for a section, reference and number, found through
  // an index so that shows of many items stay linear.
  const TEntryRefReport* RefOf(std::string_view section, const TEntryRefSpec& spec, std::int32_t number) {
    if (refIndex_.empty())
      for (const TEntryRefReport& e : report_.Entries) refIndex_.emplace(std::make_tuple(Fold(e.Section), e.Spec, e.Number), &e);
    const auto it = refIndex_.find(std::make_tuple(Fold(section), &spec, number));
    return it == refIndex_.end() ? nullptr : it->second;
  }

  // Every stored line of a section, as ReadSectionValues gives them.
  TStrings SectionLines(std::string_view section) const {
    TStrings lines;
    if (const TIniSectionLines* stored = index_->Lines(section))
      for (const TIniLine& line : *stored) lines.push_back(line.Text);
    return lines;
  }

  std::string NameOf(const TEntryRefReport* e) const {
    if (e == nullptr || e->Status != TEntryStatus::Ok) return {};
    const auto it = names_.find(std::make_tuple(e->Position, e->StoredSize, e->Extension));
    return it == names_.end() ? std::string() : it->second;
  }

  // The key lines of one section: known keys whose values the player would read,
  // normalised, without the keys that lumora-pack fills in. Each extracted entry of the
  // section is named where its extension key (or, without one, its position key) was.
  std::vector<std::string> KeyLines(const std::string& section, std::int32_t number) {
    struct TPending {
      const TEntryRefSpec* Spec;
      std::string File;
      bool Done;
    };
    std::vector<TPending> refs;
    std::int32_t sectionNumber = 0;
    const TSectionSpec* spec = FindSectionSpec(section, sectionNumber);
    for (const TEntryRefSpec& ref : EntryRefSpecs()) {
      if (ref.Section != spec->Kind) continue;
      const std::string file = NameOf(RefOf(section, ref, number));
      if (!file.empty()) refs.push_back(TPending{&ref, file, false});
    }
    std::vector<std::string> lines;
    auto emit = [&](TPending& ref) {
      if (ref.Done) return;
      lines.push_back(std::string(ref.Spec->FolderKey) + "=" + ref.File);
      ref.Done = true;
    };
    const TStrings raw = SectionLines(section);
    std::set<std::string> seen;
    for (const std::string& line : raw) {
      const std::size_t equals = line.find('=');
      if (equals == std::string::npos) continue;
      const std::string key = line.substr(0, equals);
      std::int32_t keyNumber = 0;
      const TKeySpec* keySpec = FindKeySpec(*spec, key, keyNumber);
      if (keySpec == nullptr) {
        result_.Notes.push_back(Bracketed(section) + " " + Printable(key) + ": unknown key, left out");
        continue;
      }
      if (!seen.insert(Fold(key)).second) continue;  // the player reads the first
      if (keySpec->Kind == TKeyKind::Extension || keySpec->Kind == TKeyKind::Filled) {
        for (TPending& ref : refs) {
          const bool named = keySpec->Kind == TKeyKind::Extension ? ref.Spec->ExtensionKey == keySpec->Name
                                                                   : ref.Spec->ExtensionKey.empty() &&
                                                                         ref.Spec->PositionKey == keySpec->Name;
          if (named) emit(ref);
        }
        continue;
      }
      if (keySpec->Kind == TKeyKind::FolderPath) continue;
      const std::optional<std::string> value = NormalizeKeyValue(*keySpec, line.substr(equals + 1));
      if (!value) {
        result_.Notes.push_back(Bracketed(section) + " " + Printable(key) +
                                ": value the player reads as the default, left out");
        continue;
      }
      lines.push_back(std::string(keySpec->Name) + "=" + *value);
    }
    std::vector<std::string> front;
    for (TPending& ref : refs)
      if (!ref.Done) front.push_back(std::string(ref.Spec->FolderKey) + "=" + ref.File);
    lines.insert(lines.begin(), front.begin(), front.end());
    return lines;
  }

  void WriteShowIni() {
    std::unique_ptr<TBiggerIniFile> ini = IniFromText(report_.ConfigText);
    const TIniIndex index(*ini);
    index_ = &index;
    std::string text;
    auto section = [&](const std::string& name, const std::vector<std::string>& lines) {
      if (lines.empty()) return;
      text += "[" + name + "]\r\n";
      for (const std::string& l : lines) text += l + "\r\n";
      text += "\r\n";
    };
    TStrings names;
    ini->ReadSections(names);
    for (const std::string& name : names) {
      std::int32_t n = 0;
      if (FindSectionSpec(name, n) == nullptr)
        result_.Notes.push_back(Bracketed(name) + ": unknown section, left out");
    }

    for (const std::string_view fixed : {"AppInfo", "Settings", "Background"}) {
      const std::string name(fixed);
      section(name, KeyLines(name, 0));
    }

    // Items in the player's order, numbered again without the ones it would drop.
    const std::int32_t picCount = index.ReadInteger("AppInfo", "PicCount", 0);
    std::map<std::int32_t, std::string> picSections;
    for (const std::string& name : names) {
      std::int32_t n = 0;
      const TSectionSpec* spec = FindSectionSpec(name, n);
      if (spec != nullptr && spec->Kind == TSectionKind::Pic && n <= picCount) picSections[n] = name;
    }
    std::int32_t next = 0;
    for (const auto& [n, name] : picSections) {
      const TEntryRefReport* picture = nullptr;
      for (const TEntryRefSpec& spec : EntryRefSpecs())
        if (spec.Section == TSectionKind::Pic && spec.PositionKey == "FilePos") picture = RefOf(name, spec, n);
      if (NameOf(picture).empty()) {
        result_.Notes.push_back(Bracketed(name) + ": no picture extracted, item left out");
        continue;
      }
      ++next;
      section(PicSectionName(next), KeyLines(name, n));
      section(PicCaptionSectionName(next), SectionLines(PicCaptionSectionName(n)));
    }

    // Sounds likewise.
    const std::int32_t sndCount = index.ReadInteger("AppInfo", "SndCount", 0);
    std::vector<std::string> sndLines;
    std::int32_t sound = 0;
    for (const TEntryRefReport& e : report_.Entries) {
      if (e.Spec == nullptr || e.Spec->Section != TSectionKind::Snd || e.Number > sndCount) continue;
      const std::string name = NameOf(&e);
      if (name.empty()) continue;
      ++sound;
      sndLines.push_back("SndFileName" + std::to_string(sound) + "=" + name);
    }
    section("Snd", sndLines);
    for (const std::string& line : SectionLines("Snd")) {
      std::int32_t k = 0;
      std::int32_t specNumber = 0;
      const std::string key = line.substr(0, line.find('='));
      if (FindKeySpec(*FindSectionSpec("Snd", specNumber), key, k) == nullptr)
        result_.Notes.push_back("[Snd] " + Printable(key) + ": unknown key, left out");
    }

    for (const std::string_view freeText : {"AppDsp", "SettingsReadmeFile"}) {
      section(std::string(freeText), SectionLines(freeText));
    }

    const std::string iniName(pack_ini_name);
    WriteFile(iniName, [&](platform::IWritableFile& out) {
      return out.Write(std::as_bytes(std::span<const char>(text.data(), text.size())));
    });
  }

  static constexpr std::string_view pack_ini_name = "show.ini";

  platform::IFileSystem& fs_;
  platform::IReadableFile& file_;
  const TPayloadReport& report_;
  std::filesystem::path dir_;
  TExtractResult result_;
  std::map<std::tuple<std::int32_t, std::int32_t, std::string>, std::string> names_;
  std::set<std::string> used_;
  const TIniIndex* index_ = nullptr;
  std::map<std::tuple<std::string, const TEntryRefSpec*, std::int32_t>, const TEntryRefReport*> refIndex_;
};

}  // namespace

TExtractResult ExtractShow(platform::IFileSystem& fs, platform::IReadableFile& file, const TPayloadReport& report,
                           const std::filesystem::path& dir) {
  try {
    return TExtractor(fs, file, report, dir).Run();
  } catch (const std::exception& e) {
    TExtractResult result;
    result.Ok = false;
    result.Notes.push_back(std::string("extraction stopped: ") + e.what());
    return result;
  }
}

}  // namespace lumora::inspect
