// Shared by the INI tests: a temporary folder with headless files, and a spy file
// system that counts writes.
#pragma once

#include "ini/big_ini_file.h"
#include "platform/headless/headless_files.h"
#include "support/test_files.h"

#include <string>

namespace lumora::test {

inline std::string TextOf(const TBytes& bytes) {
  return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

class TIniFixture {
 public:
  TIniFixture() : fs_(dir_ / "player.scr", dir_.Path()) {}
  platform::THeadlessFileSystem& Fs() { return fs_; }
  std::filesystem::path Path(std::string_view name = "test.ini") const { return dir_ / name; }
  void Write(std::string_view text, std::string_view name = "test.ini") const { WriteFileBytes(Path(name), BytesOf(text)); }
  std::string Read(std::string_view name = "test.ini") const { return TextOf(ReadFileBytes(Path(name))); }
  const TTempDir& Dir() const { return dir_; }

 private:
  TTempDir dir_;
  platform::THeadlessFileSystem fs_;
};

}  // namespace lumora::test
