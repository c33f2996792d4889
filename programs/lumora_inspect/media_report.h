// lumora-inspect's report of the show's media: each sound's and video's format, told
// from its bytes, and which players on this machine can play it.
#pragma once

#include "platform/files.h"
#include "show/show_payload.h"

#include <functional>
#include <string>

namespace lumora::inspect {

// "media formats:" and one line per sound and media item; empty when there are none.
// hasElement tells whether the native player's GStreamer has an element; without it
// (a build without GStreamer) the native player is not judged.
std::string FormatMediaFormats(platform::IReadableFile& file, const TPayloadReport& report,
                               const std::function<bool(const std::string&)>& hasElement);

}  // namespace lumora::inspect
