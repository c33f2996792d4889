// The INI family: the whole file is read into memory when the file name is set, every
// read is answered from memory, and changes are written back as one whole file when
// the object is flushed or destroyed.
//
//  TBigIniFile     strings, integers, reals, flags, sections, whole-file access
//  TBiggerIniFile  + colours, the show's enumerations and fonts
//  TAppIniFile     the settings file beside the executable
#pragma once

#include "ini/config_types.h"
#include "ini/section_list.h"
#include "platform/files.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace lumora {

// A file could not be read or written back.
class EIniFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TBigIniFile {
 public:
  // Loads fileName at once; a name that does not exist gives an empty, usable object.
  TBigIniFile(platform::IFileSystem& fs, std::filesystem::path fileName);
  // Writes pending changes back; a failure to do so is swallowed here (call UpdateFile
  // first to learn about it).
  virtual ~TBigIniFile();
  TBigIniFile(const TBigIniFile&) = delete;
  TBigIniFile& operator=(const TBigIniFile&) = delete;

  const std::filesystem::path& FileName() const { return fileName_; }
  // Writes pending changes to the old file, forgets every section, then loads the new one.
  void SetFileName(std::filesystem::path fileName);
  bool Changed() const { return changed_; }
  std::uint32_t BufferSize() const { return bufferSize_; }

  virtual std::string ReadString(std::string_view section, std::string_view ident, std::string_view defaultValue);
  virtual void WriteString(std::string_view section, std::string_view ident, std::string_view value);
  virtual std::int32_t ReadInteger(std::string_view section, std::string_view ident, std::int32_t defaultValue);
  virtual void WriteInteger(std::string_view section, std::string_view ident, std::int32_t value);
  virtual float ReadFloat(std::string_view section, std::string_view ident, float defaultValue);
  virtual void WriteFloat(std::string_view section, std::string_view ident, float value);
  virtual bool ReadBool(std::string_view section, std::string_view ident, bool defaultValue);
  virtual void WriteBool(std::string_view section, std::string_view ident, bool value);
  // Appends the key names of a section (the text before the first "=" of each line).
  virtual void ReadSection(std::string_view section, TStrings& strings);
  // Replaces the content of strings with the section names in file order.
  virtual void ReadSections(TStrings& strings);
  // Appends every stored line of a section verbatim.
  virtual void ReadSectionValues(std::string_view section, TStrings& strings);
  virtual void EraseSection(std::string_view section);
  // Creates the section when it is missing (it stays empty and is not written).
  virtual void DeleteKey(std::string_view section, std::string_view ident);
  // The whole content as it would be written: per non-empty section its header, its
  // lines and one empty line.
  virtual void ReadAll(TStrings& strings);
  // Writes everything back when something changed: a new file beside the old one,
  // which replaces it only once it is complete. Throws EIniFileError on failure.
  virtual void UpdateFile();
  // Appends the sections of a file (none when it does not exist). Throws EIniFileError
  // when an existing file cannot be read.
  virtual void LoadFromFile(const std::filesystem::path& fileName);

  // Appends sections from text already in memory, with the same rules as a file.
  void LoadFromText(std::string_view text);
  // The section index, for readers that walk every section (tools).
  const TSectionList& Sections() const { return sections_; }

 protected:
  platform::IFileSystem& FileSystem() { return fs_; }

 private:
  // Finds the section (cyclically from the remembered position) and the key's line.
  // create: append a missing section. Returns the section index or -1; lineIndex is -1
  // when the key is missing.
  int FindSectionAndKey(std::string_view section, std::string_view ident, bool create, int& lineIndex);
  void MergeDuplicateSections();
  std::string WholeText();

  platform::IFileSystem& fs_;
  std::filesystem::path fileName_;
  bool changed_ = false;
  TSectionList sections_;
  std::int32_t sectionPos_ = 0;
  std::uint32_t bufferSize_ = 0x7000;
};

class TBiggerIniFile : public TBigIniFile {
 public:
  using TBigIniFile::TBigIniFile;

  // Colours: 8 upper-case hexadecimal digits without prefix. A stored text that is not
  // hexadecimal reads as the default.
  virtual TColor ReadHexInteger(std::string_view section, std::string_view ident, TColor defaultValue);
  virtual void WriteHexInteger(std::string_view section, std::string_view ident, TColor value);

  // Enumerations are stored as their ordinal; an ordinal outside the type reads as the default.
  virtual TCapPos ReadCapPos(std::string_view section, std::string_view ident, TCapPos defaultValue);
  virtual void WriteCapPos(std::string_view section, std::string_view ident, TCapPos value);
  virtual TPicPos ReadPicPos(std::string_view section, std::string_view ident, TPicPos defaultValue);
  virtual void WritePicPos(std::string_view section, std::string_view ident, TPicPos value);
  virtual TPicSize ReadPicSize(std::string_view section, std::string_view ident, TPicSize defaultValue);
  virtual void WritePicSize(std::string_view section, std::string_view ident, TPicSize value);
  virtual TPicSizeRef ReadPicSizeRef(std::string_view section, std::string_view ident, TPicSizeRef defaultValue);
  virtual void WritePicSizeRef(std::string_view section, std::string_view ident, TPicSizeRef value);
  virtual TBgStyle ReadBgStyle(std::string_view section, std::string_view ident, TBgStyle defaultValue);
  virtual void WriteBgStyle(std::string_view section, std::string_view ident, TBgStyle value);
  virtual TBgBgpStyle ReadBgBgpStyle(std::string_view section, std::string_view ident, TBgBgpStyle defaultValue);
  virtual void WriteBgBgpStyle(std::string_view section, std::string_view ident, TBgBgpStyle value);
  virtual TDirection ReadDirection(std::string_view section, std::string_view ident, TDirection defaultValue);
  virtual void WriteDirection(std::string_view section, std::string_view ident, TDirection value);
  virtual TBgMode ReadBgMode(std::string_view section, std::string_view ident, TBgMode defaultValue);
  virtual void WriteBgMode(std::string_view section, std::string_view ident, TBgMode value);

  // Eight keys Ident + "_Charset", "_Color", "_Height", "_Name", "_Pitch",
  // "_PixelsPerInch", "_Size", "_Style"; each missing key keeps the template's value.
  virtual std::unique_ptr<TFont> ReadFont(std::string_view section, std::string_view ident, const TFont& font);
  virtual void WriteFont(std::string_view section, std::string_view ident, const TFont& font);

 private:
  template <class E>
  E ReadEnum(std::string_view section, std::string_view ident, E defaultValue);
  template <class E>
  void WriteEnum(std::string_view section, std::string_view ident, E value);
};

// The settings file beside the executable: its full path with the extension ".ini",
// the name part as the file system stores it.
class TAppIniFile : public TBiggerIniFile {
 public:
  explicit TAppIniFile(platform::IFileSystem& fs);
  static std::filesystem::path SettingsFileName(platform::IFileSystem& fs);
};

// The stored "_Style" mask of a font (8 bold, 4 italic, 2 underline, 1 strike-out; 255
// when all four are set) and its reading (the four low bits).
std::int32_t FontStyleMask(const TFontStyles& styles);
TFontStyles FontStylesFromMask(std::int32_t mask);

}  // namespace lumora
