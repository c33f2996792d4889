// Arbitrary bytes as an RSB file; whatever loads is saved again and loaded back.
#include "imaging/dib_format.h"

#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumora;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  TWinDIB dib;
  TDIBRSBFormat rsb;
  rsb.SetDIB(&dib);
  int lastPercent = -1;
  rsb.OnProgress = [&](TAbstractDIBFormat&, int percent) {
    if (percent < lastPercent || percent > 100) __builtin_trap();
    lastPercent = percent;
  };
  try {
    rsb.LoadFromStream(in);
  } catch (const std::runtime_error&) {
    return 0;  // short stream, wrong version or oversized header
  }
  std::ostringstream out;
  lastPercent = -1;
  rsb.SaveToStream(out);
  std::istringstream again(out.str());
  TWinDIB copy;
  rsb.SetDIB(&copy);
  lastPercent = -1;
  rsb.LoadFromStream(again);
  if (copy.Width() != dib.Width() || copy.Height() != dib.Height()) __builtin_trap();
  return 0;
}
