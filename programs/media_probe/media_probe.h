// What a medium of a show is, told from its bytes rather than its extension: the
// container and the codecs of its picture and sound, and where it can play (the native
// player through GStreamer, the Windows player under Wine). lumora-inspect reports it;
// lumora-pack warns of media that the Windows player under Wine cannot play.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace lumora::media {

struct TMediumKind {
  std::string Container;  // "AVI", "WAVE", "MPEG-1 program stream", "ASF", "MP4", "MP3", "MIDI", ...; empty: unknown
  std::string Video;      // the picture's codec, e.g. "MPEG-4 Visual (FMP4)"; empty: none or not told
  std::string Audio;      // the sound's codec, e.g. "PCM", "MP3"; empty: none or not told
  // Codec keys for the decision tables below ("pcm", "mp3", "mpeg4", "h264", "wmv2", ...).
  std::string VideoKey;
  std::string AudioKey;
};

// Probes the first bytes of a medium (the whole medium finds codecs stored at its end,
// as MP4 files often keep them).
TMediumKind ProbeMedium(std::string_view bytes);

// "AVI: video MPEG-4 Visual (FMP4), sound MP3"; "unknown format" when nothing is recognised.
std::string Describe(const TMediumKind& kind);

// Why the Windows player under Wine cannot play the medium; empty when it can.
std::string WineProblem(const TMediumKind& kind);

// The GStreamer elements the native player needs for the medium: one group per stream,
// any element of a group will do. An unknown format gives no groups.
std::vector<std::vector<std::string>> NativeDecoders(const TMediumKind& kind);

// What the native player lacks for the medium, asked of hasElement (whether an element
// factory is installed): empty when it has everything; "H.264 decoder (avdec_h264)".
std::string NativeProblem(const TMediumKind& kind, const std::function<bool(const std::string&)>& hasElement);

}  // namespace lumora::media
