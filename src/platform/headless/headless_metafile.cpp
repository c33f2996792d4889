#include "platform/headless/headless_metafile.h"

namespace lumora::platform {

bool THeadlessMetafileRenderer::Render(std::span<const std::byte>, TMetafileKind, const TMetafileLimits&,
                                       TRenderedMetafile&) {
  return false;
}

}  // namespace lumora::platform
