// Show folders for the tool tests: show.ini and media files in a temporary folder.
#pragma once

#include "packer.h"
#include "platform/headless/headless_files.h"
#include "support/test_files.h"

#include <string>

namespace lumora::test {

inline std::string TextOf(const TBytes& bytes) { return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()); }

// Deterministic bytes that compress a little, like media do.
inline TBytes Media(std::size_t size, std::uint32_t seed) {
  TBytes out(size);
  for (std::size_t i = 0; i < size; ++i) {
    seed = seed * 1103515245u + 12345u;
    out[i] = std::byte(((i / 7) & 0xF0) | ((seed >> 16) & 0x0F));
  }
  return out;
}

class TShowFolderFixture {
 public:
  TShowFolderFixture() : fs_(dir_ / "none.scr", dir_.Path()) {
    std::filesystem::create_directories(Show());
    WriteFileBytes(Template(), BytesOf("MZ-test-template"));
  }
  std::filesystem::path Show() const { return dir_ / "show"; }
  std::filesystem::path Template() const { return dir_ / "template.scr"; }
  std::filesystem::path Out(std::string_view name = "out.scr") const { return dir_ / name; }
  std::filesystem::path Dir(std::string_view name) const { return dir_ / name; }
  platform::THeadlessFileSystem& Fs() { return fs_; }

  void Ini(std::string_view text) const { WriteFileBytes(Show() / "show.ini", BytesOf(text)); }
  void File(std::string_view relative, const TBytes& data) const {
    const std::filesystem::path path = Show() / relative;
    std::filesystem::create_directories(path.parent_path());
    WriteFileBytes(path, data);
  }
  pack::TPackOptions Options(std::string_view out = "out.scr") const {
    pack::TPackOptions options;
    options.ShowFolder = Show();
    options.Template = Template();
    options.Output = Out(out);
    return options;
  }
  pack::TPackResult Pack(std::string_view out = "out.scr") { return pack::PackShow(fs_, Options(out)); }

 private:
  TTempDir dir_;
  platform::THeadlessFileSystem fs_;
};

}  // namespace lumora::test
