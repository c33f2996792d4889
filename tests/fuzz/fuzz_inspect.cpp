// Arbitrary bytes as a screen saver, read the way lumora-inspect reads one: trailer,
// configuration, and every entry the configuration refers to.
#include "show/show_payload.h"

#include "platform/headless/memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumora;
  const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(data), size);
  platform::TMemoryReadableFile file(bytes);
  const TPayloadReport report = InspectPayload(file, true);
  (void)report.Broken();
  for (const TEntryRefReport& entry : report.Entries) (void)entry.BaseName();
  return 0;
}
