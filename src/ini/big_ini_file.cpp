#include "ini/big_ini_file.h"

#include "ini/ini_text.h"

#include <algorithm>
#include <numeric>
#include <vector>

namespace lumora {
namespace {

// Larger files are not configuration; refuse them instead of exhausting memory.
constexpr std::uint64_t kMaxIniFileSize = 512ull << 20;

std::string PathText(const std::filesystem::path& path) {
  const auto text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace

TBigIniFile::TBigIniFile(platform::IFileSystem& fs, std::filesystem::path fileName) : fs_(fs) {
  SetFileName(std::move(fileName));
}

TBigIniFile::~TBigIniFile() {
  try {
    UpdateFile();
  } catch (...) {
    // A destructor cannot report; callers that care flush with UpdateFile first.
  }
}

void TBigIniFile::SetFileName(std::filesystem::path fileName) {
  UpdateFile();
  sections_.Clear();
  sectionPos_ = 0;
  fileName_ = std::move(fileName);
  if (!fileName_.empty()) LoadFromFile(fileName_);
  changed_ = false;
}

void TBigIniFile::LoadFromFile(const std::filesystem::path& fileName) {
  sectionPos_ = 0;
  if (!fs_.FileExists(fileName)) return;
  const std::unique_ptr<platform::IReadableFile> file = fs_.OpenForReadDenyWrite(fileName);
  if (!file) throw EIniFileError("cannot open " + PathText(fileName));
  const std::uint64_t size = file->Size();
  if (size > kMaxIniFileSize) throw EIniFileError("too large to be an INI file: " + PathText(fileName));
  std::string text(static_cast<std::size_t>(size), '\0');
  // Read in buffer-sized pieces, as the file is read as text.
  std::uint64_t done = 0;
  while (done < size) {
    const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(bufferSize_, size - done));
    if (!file->ReadAt(done, std::as_writable_bytes(std::span<char>(text.data() + done, piece))))
      throw EIniFileError("cannot read " + PathText(fileName));
    done += piece;
  }
  LoadFromText(text);
}

void TBigIniFile::LoadFromText(std::string_view text) {
  sectionPos_ = 0;
  TIniSectionLines* current = nullptr;
  ini::SplitIniText(text, [&](std::string_view line, bool) {
    if (line.empty()) return;
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      auto lines = std::make_unique<TIniSectionLines>();
      current = lines.get();
      sections_.Add(std::string(line.substr(1, line.size() - 2)), std::move(lines));
      return;
    }
    // Lines before the first header belong to no section and are dropped.
    if (current != nullptr) current->emplace_back(std::string(line));
  });
  MergeDuplicateSections();
}

void TBigIniFile::MergeDuplicateSections() {
  const int count = sections_.Count();
  if (count < 2) return;
  std::vector<int> order(static_cast<std::size_t>(count));
  std::iota(order.begin(), order.end(), 0);
  // Stable, so that in each run of equal names the first in the file comes first.
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return ini::CompareText(sections_.Name(a), sections_.Name(b)) < 0; });
  std::vector<bool> flagged(static_cast<std::size_t>(count), false);
  bool any = false;
  for (std::size_t i = 1; i < order.size(); ++i) {
    if (ini::SameText(sections_.Name(order[i]), sections_.Name(order[i - 1]))) {
      flagged[static_cast<std::size_t>(order[i])] = true;
      any = true;
    }
  }
  if (!any) return;
  sections_.DeleteFlagged(flagged);
  sectionPos_ = 0;
  changed_ = true;
}

int TBigIniFile::FindSectionAndKey(std::string_view section, std::string_view ident, bool create, int& lineIndex) {
  lineIndex = -1;
  const int count = sections_.Count();
  int found = -1;
  if (count > 0) {
    if (sectionPos_ < 0 || sectionPos_ >= count) sectionPos_ = 0;
    const int start = sectionPos_;
    int pos = start;
    for (;;) {
      if (ini::SameText(sections_.Name(pos), section)) {
        found = pos;
        break;
      }
      const int next = pos + 1 == count ? 0 : pos + 1;
      if (next == start) break;
      pos = next;
    }
    sectionPos_ = pos;
  }
  if (found < 0) {
    if (!create) return -1;
    found = sections_.Add(std::string(section), std::make_unique<TIniSectionLines>());
    sectionPos_ = found;
    return found;
  }
  const TIniSectionLines& lines = sections_.Lines(found);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].KeyEnd == ident.size() && ini::SameText(lines[i].Key(), ident)) {
      lineIndex = static_cast<int>(i);
      break;
    }
  }
  return found;
}

std::string TBigIniFile::ReadString(std::string_view section, std::string_view ident, std::string_view defaultValue) {
  int line = -1;
  const int index = FindSectionAndKey(section, ident, false, line);
  if (index < 0 || line < 0) return std::string(defaultValue);
  const TIniLine& stored = sections_.Lines(index)[static_cast<std::size_t>(line)];
  return stored.Text.substr(stored.KeyEnd + 1, ini::kMaxLineLength);
}

void TBigIniFile::WriteString(std::string_view section, std::string_view ident, std::string_view value) {
  if (ident.empty()) {
    if (!section.empty() || !value.empty()) {
      EraseSection(section);
    } else {
      UpdateFile();
    }
    return;
  }
  std::string text;
  text.reserve(ident.size() + 1 + value.size());
  text.append(ident).append("=").append(value);
  if (text.size() > ini::kMaxLineLength) text.resize(ini::kMaxLineLength);
  int line = -1;
  const int index = FindSectionAndKey(section, ident, true, line);
  TIniSectionLines& lines = sections_.Lines(index);
  if (line < 0) {
    lines.emplace_back(std::move(text));
    changed_ = true;
  } else if (lines[static_cast<std::size_t>(line)].Text != text) {
    lines[static_cast<std::size_t>(line)] = TIniLine(std::move(text));
    changed_ = true;
  }
}

std::int32_t TBigIniFile::ReadInteger(std::string_view section, std::string_view ident, std::int32_t defaultValue) {
  std::string text = ReadString(section, ident, "");
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.replace(0, 2, "$");
  return ini::ParseInteger(text).value_or(defaultValue);
}

void TBigIniFile::WriteInteger(std::string_view section, std::string_view ident, std::int32_t value) {
  WriteString(section, ident, std::to_string(value));
}

float TBigIniFile::ReadFloat(std::string_view section, std::string_view ident, float defaultValue) {
  return ini::ParseFloat(ReadString(section, ident, "")).value_or(defaultValue);
}

void TBigIniFile::WriteFloat(std::string_view section, std::string_view ident, float value) {
  WriteString(section, ident, ini::FormatFloat(value));
}

bool TBigIniFile::ReadBool(std::string_view section, std::string_view ident, bool defaultValue) {
  return ReadInteger(section, ident, defaultValue ? 1 : 0) != 0;
}

void TBigIniFile::WriteBool(std::string_view section, std::string_view ident, bool value) {
  WriteString(section, ident, value ? "1" : "0");
}

void TBigIniFile::ReadSection(std::string_view section, TStrings& strings) {
  const int index = sections_.IndexOf(section);
  if (index < 0) return;
  for (const TIniLine& line : sections_.Lines(index)) strings.emplace_back(line.Key());
}

void TBigIniFile::ReadSections(TStrings& strings) {
  strings.clear();
  for (int i = 0; i < sections_.Count(); ++i) strings.push_back(sections_.Name(i));
}

void TBigIniFile::ReadSectionValues(std::string_view section, TStrings& strings) {
  const int index = sections_.IndexOf(section);
  if (index < 0) return;
  for (const TIniLine& line : sections_.Lines(index)) strings.push_back(line.Text);
}

void TBigIniFile::EraseSection(std::string_view section) {
  const int index = sections_.IndexOf(section);
  if (index < 0) return;
  sections_.Delete(index);
  changed_ = true;
  if (sectionPos_ >= sections_.Count()) sectionPos_ = 0;
}

void TBigIniFile::DeleteKey(std::string_view section, std::string_view ident) {
  int line = -1;
  const int index = FindSectionAndKey(section, ident, true, line);
  if (line < 0) return;
  TIniSectionLines& lines = sections_.Lines(index);
  lines.erase(lines.begin() + line);
  changed_ = true;
}

void TBigIniFile::ReadAll(TStrings& strings) {
  for (int i = 0; i < sections_.Count(); ++i) {
    const TIniSectionLines& lines = sections_.Lines(i);
    if (lines.empty()) continue;
    strings.push_back("[" + sections_.Name(i) + "]");
    for (const TIniLine& line : lines) strings.push_back(line.Text);
    strings.emplace_back();
  }
}

std::string TBigIniFile::WholeText() {
  std::string text;
  for (int i = 0; i < sections_.Count(); ++i) {
    const TIniSectionLines& lines = sections_.Lines(i);
    if (lines.empty()) continue;
    text.append("[").append(sections_.Name(i)).append("]\r\n");
    for (const TIniLine& line : lines) text.append(line.Text).append("\r\n");
    text.append("\r\n");
  }
  return text;
}

void TBigIniFile::UpdateFile() {
  if (!changed_) return;
  if (fileName_.empty()) {
    changed_ = false;
    return;
  }
  // The new content goes to a file of its own beside the old one and takes the old
  // one's place only when it is complete, so that a crash or a full disk while
  // writing never costs the file that was there.
  const std::string text = WholeText();
  std::filesystem::path dir = fileName_.parent_path();
  if (dir.empty()) dir = ".";
  const std::optional<std::filesystem::path> scratch = fs_.CreateUniqueTempFile(dir, "ini");
  if (!scratch) throw EIniFileError("cannot create a file beside " + PathText(fileName_));
  bool ok = false;
  if (std::unique_ptr<platform::IWritableFile> out = fs_.OpenExistingForWrite(*scratch)) {
    bool written = true;
    for (std::size_t done = 0; written && done < text.size(); done += bufferSize_) {
      const std::size_t piece = std::min<std::size_t>(bufferSize_, text.size() - done);
      written = out->Write(std::as_bytes(std::span<const char>(text.data() + done, piece)));
    }
    ok = out->Close() && written;
  }
  if (!ok || !fs_.MoveReplacing(*scratch, fileName_)) {
    fs_.RemoveFile(*scratch);
    throw EIniFileError("cannot write " + PathText(fileName_));
  }
  changed_ = false;
}

// ---- TBiggerIniFile

TColor TBiggerIniFile::ReadHexInteger(std::string_view section, std::string_view ident, TColor defaultValue) {
  const std::string text = ReadString(section, ident, ini::FormatHex8(defaultValue));
  if (text.empty() || text.front() == ' ' || text.front() == '\t') return defaultValue;
  return ini::ParseInteger("$" + text).value_or(defaultValue);
}

void TBiggerIniFile::WriteHexInteger(std::string_view section, std::string_view ident, TColor value) {
  WriteString(section, ident, ini::FormatHex8(value));
}

template <class E>
E TBiggerIniFile::ReadEnum(std::string_view section, std::string_view ident, E defaultValue) {
  const std::int32_t ordinal = ReadInteger(section, ident, static_cast<std::int32_t>(defaultValue));
  if (ordinal < 0 || ordinal >= EnumCount(defaultValue)) return defaultValue;
  return static_cast<E>(ordinal);
}

template <class E>
void TBiggerIniFile::WriteEnum(std::string_view section, std::string_view ident, E value) {
  WriteString(section, ident, std::to_string(static_cast<std::int32_t>(value)));
}

#define LUMORA_ENUM_ACCESSORS(Type, Name)                                                                 \
  Type TBiggerIniFile::Read##Name(std::string_view section, std::string_view ident, Type defaultValue) { \
    return ReadEnum(section, ident, defaultValue);                                                        \
  }                                                                                                       \
  void TBiggerIniFile::Write##Name(std::string_view section, std::string_view ident, Type value) {       \
    WriteEnum(section, ident, value);                                                                     \
  }
LUMORA_ENUM_ACCESSORS(TCapPos, CapPos)
LUMORA_ENUM_ACCESSORS(TPicPos, PicPos)
LUMORA_ENUM_ACCESSORS(TPicSize, PicSize)
LUMORA_ENUM_ACCESSORS(TPicSizeRef, PicSizeRef)
LUMORA_ENUM_ACCESSORS(TBgStyle, BgStyle)
LUMORA_ENUM_ACCESSORS(TBgBgpStyle, BgBgpStyle)
LUMORA_ENUM_ACCESSORS(TDirection, Direction)
LUMORA_ENUM_ACCESSORS(TBgMode, BgMode)
#undef LUMORA_ENUM_ACCESSORS

std::int32_t FontStyleMask(const TFontStyles& styles) {
  std::int32_t mask = 255;
  if (!styles.Bold) mask &= 0x07;
  if (!styles.Italic) mask &= 0x0B;
  if (!styles.Underline) mask &= 0x0D;
  if (!styles.StrikeOut) mask &= 0x0E;
  return mask;
}

TFontStyles FontStylesFromMask(std::int32_t mask) {
  TFontStyles styles;
  styles.Bold = (mask & 8) != 0;
  styles.Italic = (mask & 4) != 0;
  styles.Underline = (mask & 2) != 0;
  styles.StrikeOut = (mask & 1) != 0;
  return styles;
}

std::unique_ptr<TFont> TBiggerIniFile::ReadFont(std::string_view section, std::string_view ident, const TFont& font) {
  auto result = std::make_unique<TFont>(font);
  const std::string prefix(ident);
  result->Charset = ReadInteger(section, prefix + "_Charset", font.Charset);
  result->Color = ReadHexInteger(section, prefix + "_Color", font.Color);
  result->SetHeight(ReadInteger(section, prefix + "_Height", font.Height()));
  result->Name = ReadString(section, prefix + "_Name", font.Name);
  result->Pitch = ReadEnum(section, prefix + "_Pitch", font.Pitch);
  result->PixelsPerInch = ReadInteger(section, prefix + "_PixelsPerInch", font.PixelsPerInch);
  // After the height, so that a stored size wins.
  result->SetSize(ReadInteger(section, prefix + "_Size", font.Size()));
  result->Style = FontStylesFromMask(ReadInteger(section, prefix + "_Style", FontStyleMask(font.Style)));
  return result;
}

void TBiggerIniFile::WriteFont(std::string_view section, std::string_view ident, const TFont& font) {
  const std::string prefix(ident);
  WriteInteger(section, prefix + "_Charset", font.Charset);
  WriteHexInteger(section, prefix + "_Color", font.Color);
  WriteInteger(section, prefix + "_Height", font.Height());
  WriteString(section, prefix + "_Name", font.Name);
  WriteEnum(section, prefix + "_Pitch", font.Pitch);
  WriteInteger(section, prefix + "_PixelsPerInch", font.PixelsPerInch);
  WriteInteger(section, prefix + "_Size", font.Size());
  WriteInteger(section, prefix + "_Style", FontStyleMask(font.Style));
}

// ---- TAppIniFile

std::filesystem::path TAppIniFile::SettingsFileName(platform::IFileSystem& fs) {
  std::filesystem::path path = fs.ExecutablePath();
  if (const std::optional<std::filesystem::path> stored = fs.StoredFileName(path)) path.replace_filename(*stored);
  path.replace_extension(".ini");
  return path;
}

TAppIniFile::TAppIniFile(platform::IFileSystem& fs) : TBiggerIniFile(fs, SettingsFileName(fs)) {}

}  // namespace lumora
