#include "view_rig.h"

#include "png_writer.h"

#include <cstdio>
#include <filesystem>

namespace lumora::testing {

TPicture SolidPicture(int width, int height, TPixel colour) {
  TPicture picture;
  picture.Bitmap() = TBitmap32(width, height, colour);
  return picture;
}

std::string PixelText(TPixel p) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", p);
  return text;
}

::testing::AssertionResult SameBitmap(const std::string& name, const TBitmap32& expected, const TBitmap32& actual) {
  std::string difference;
  if (expected.Width() != actual.Width() || expected.Height() != actual.Height()) {
    difference = "size " + std::to_string(actual.Width()) + "x" + std::to_string(actual.Height()) + ", expected " +
                 std::to_string(expected.Width()) + "x" + std::to_string(expected.Height());
  } else {
    for (int y = 0; y < expected.Height() && difference.empty(); ++y)
      for (int x = 0; x < expected.Width(); ++x)
        if ((expected.At(x, y) & 0xFFFFFFu) != (actual.At(x, y) & 0xFFFFFFu)) {
          difference = "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") is " + PixelText(actual.At(x, y)) +
                       ", expected " + PixelText(expected.At(x, y));
          break;
        }
  }
  if (difference.empty()) return ::testing::AssertionSuccess();
  const std::filesystem::path folder = std::filesystem::current_path() / "golden_failures";
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  tools::WritePng(folder / (name + "_expected.png"), expected);
  tools::WritePng(folder / (name + "_actual.png"), actual);
  return ::testing::AssertionFailure() << name << ": " << difference << " (pictures in " << folder.string() << ")";
}

}  // namespace lumora::testing

// fontconfig keeps caches of its own for the life of the process, which the leak
// checker reports at exit; they are not the view's.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
