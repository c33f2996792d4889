// The headless backend has no metafile player: every metafile fails to load.
#pragma once

#include "platform/metafile.h"

namespace lumora::platform {

class THeadlessMetafileRenderer final : public IMetafileRenderer {
 public:
  bool Render(std::span<const std::byte> data, TMetafileKind kind, const TMetafileLimits& limits,
              TRenderedMetafile& out) override;
};

}  // namespace lumora::platform
