// Windows metafiles and enhanced metafiles played by GDI into a DIB section.
#pragma once

#include "platform/metafile.h"

namespace lumora::platform {

class TWin32MetafileRenderer final : public IMetafileRenderer {
 public:
  bool Render(std::span<const std::byte> data, TMetafileKind kind, const TMetafileLimits& limits,
              TRenderedMetafile& out) override;
};

// The process's renderer, for handing to the picture decoders at start-up.
IMetafileRenderer& Win32MetafileRenderer();

}  // namespace lumora::platform
