// The metafile renderer a backend implements: the decoders' own interface, named here
// among the other needs a backend meets.
#pragma once

#include "imaging/codecs/metafile_renderer.h"

namespace lumora::platform {

using codecs::IMetafileRenderer;
using codecs::TMetafileKind;
using codecs::TMetafileLimits;
using codecs::TRenderedMetafile;

}  // namespace lumora::platform
