// Arbitrary bytes as the "Data" property of an effect bitmap, then written back out.
#include "imaging/dib_format.h"

#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumora;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  TWinDIB dib;
  try {
    dib.ReadData(in);
  } catch (const EReadError&) {
    return 0;
  } catch (const EDIBCompressError&) {
    return 0;
  }
  std::ostringstream out;
  dib.WriteData(out);
  // What was read must write back as a layout of the size read.
  if (out.str().size() != 4 + std::size_t(dib.Width()) * dib.Height() * 4) __builtin_trap();
  return 0;
}
