#include "media_probe.h"

#include <cstdint>
#include <cstdio>

namespace lumora::media {
namespace {

std::uint32_t Le32(std::string_view b, std::size_t at) {
  if (at + 4 > b.size()) return 0;
  const auto* p = reinterpret_cast<const unsigned char*>(b.data() + at);
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint16_t Le16(std::string_view b, std::size_t at) {
  if (at + 2 > b.size()) return 0;
  const auto* p = reinterpret_cast<const unsigned char*>(b.data() + at);
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

unsigned Byte(std::string_view b, std::size_t at) { return at < b.size() ? static_cast<unsigned char>(b[at]) : 0; }

bool At(std::string_view b, std::size_t at, std::string_view what) { return b.substr(at, what.size()) == what; }

// A four-character code as text, control characters replaced; all zeros (an
// uncompressed picture's code) stays empty.
std::string FourCc(std::string_view b, std::size_t at) {
  if (b.substr(at, 4) == std::string_view("\0\0\0\0", 4)) return {};
  std::string code;
  for (std::size_t i = at; i < at + 4 && i < b.size(); ++i) code += b[i] >= 32 && b[i] < 127 ? b[i] : '?';
  return code;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return text;
}

// A sound's format tag, as WAVE, AVI and ASF carry it.
void SoundFormat(std::uint16_t tag, TMediumKind& kind) {
  struct TTag {
    std::uint16_t Tag;
    const char* Name;
    const char* Key;
  };
  static constexpr TTag kTags[] = {
      {0x0001, "PCM", "pcm"},         {0x0002, "MS ADPCM", "adpcm"},     {0x0003, "PCM float", "pcm"},
      {0x0006, "A-law", "alaw"},      {0x0007, "mu-law", "mulaw"},       {0x0011, "IMA ADPCM", "adpcm"},
      {0x0031, "GSM 6.10", "gsm"},    {0x0050, "MPEG audio", "mp2"},     {0x0055, "MP3", "mp3"},
      {0x00FF, "AAC", "aac"},         {0x0160, "WMA 1", "wma"},          {0x0161, "WMA 2", "wma"},
      {0x0162, "WMA Pro", "wmapro"},  {0x2000, "AC-3", "ac3"},           {0xFFFE, "PCM (extensible)", "pcm"},
  };
  for (const TTag& t : kTags)
    if (t.Tag == tag) {
      kind.Audio = t.Name;
      kind.AudioKey = t.Key;
      return;
    }
  char text[32];
  std::snprintf(text, sizeof text, "format 0x%04X", tag);
  kind.Audio = text;
  kind.AudioKey = "other";
}

// A picture's compression code, as AVI and ASF carry it.
void VideoFormat(const std::string& code, TMediumKind& kind) {
  const std::string up = Upper(code);
  struct TCode {
    const char* Codes;
    const char* Name;
    const char* Key;
  };
  static constexpr TCode kCodes[] = {
      {"MJPG AVRN LJPG JPGL", "Motion JPEG", "mjpeg"},
      {"FMP4 XVID DIVX DX50 MP4V M4S2 3IV2", "MPEG-4 Visual", "mpeg4"},
      {"DIV3 MP43 MP42 MPG4", "MS MPEG-4", "msmpeg4"},
      {"H264 X264 AVC1 DAVC", "H.264", "h264"},
      {"HEVC H265 HVC1 HEV1", "H.265", "h265"},
      {"WMV1", "WMV 7", "wmv1"},
      {"WMV2", "WMV 8", "wmv2"},
      {"WMV3 WVC1 WMVA", "WMV 9", "wmv3"},
      {"MPG1 MPG2 MPEG", "MPEG-1/2 video", "mpeg2"},
      {"CVID", "Cinepak", "cinepak"},
      {"MRLE", "RLE", "rle"},
      {"CRAM MSVC WHAM", "Video 1", "cram"},
      {"IV50", "Indeo 5", "indeo5"},
      {"IV31 IV32", "Indeo 3", "indeo3"},
  };
  if (code.empty() || up == "DIB " || up == "RAW ") {
    kind.Video = "uncompressed";
    kind.VideoKey = "raw";
    return;
  }
  for (const TCode& c : kCodes)
    if (std::string_view(c.Codes).find(up) != std::string_view::npos && up.find(' ') == std::string::npos) {
      kind.Video = std::string(c.Name) + " (" + code + ")";
      kind.VideoKey = c.Key;
      return;
    }
  kind.Video = code;
  kind.VideoKey = "other";
}

void ProbeRiff(std::string_view b, TMediumKind& kind) {
  if (At(b, 8, "WAVE")) {
    kind.Container = "WAVE";
    for (std::size_t at = 12; at + 8 <= b.size();) {
      const std::uint32_t size = Le32(b, at + 4);
      if (At(b, at, "fmt ")) {
        SoundFormat(Le16(b, at + 8), kind);
        return;
      }
      if (size > b.size()) break;
      at += 8 + size + (size & 1);
    }
  } else if (At(b, 8, "RMID")) {
    kind.Container = "MIDI (RIFF)";
    kind.Audio = "MIDI";
    kind.AudioKey = "midi";
  } else if (At(b, 8, "AVI ")) {
    kind.Container = "AVI";
    // Each stream's header: its type, then the format chunk that follows it.
    for (std::size_t at = b.find("strh"); at != std::string_view::npos; at = b.find("strh", at + 4)) {
      const std::size_t format = b.find("strf", at);
      if (format == std::string_view::npos) break;
      if (At(b, at + 8, "vids") && kind.VideoKey.empty()) {
        // The format chunk's BITMAPINFOHEADER tells the compression; the handler may be empty.
        VideoFormat(FourCc(b, format + 8 + 16), kind);
      } else if (At(b, at + 8, "auds") && kind.AudioKey.empty()) {
        SoundFormat(Le16(b, format + 8), kind);
      }
    }
  }
}

void ProbeAsf(std::string_view b, TMediumKind& kind) {
  kind.Container = "ASF";
  // Stream properties objects: the stream's type, then its type-specific data.
  static constexpr unsigned char kStreamProperties[] = {0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11,
                                                        0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
  const std::string_view properties(reinterpret_cast<const char*>(kStreamProperties), sizeof kStreamProperties);
  // The first bytes of the audio and the video stream type.
  const std::string_view audio("\x40\x9E\x69\xF8", 4), video("\xC0\xEF\x19\xBC", 4);
  for (std::size_t at = b.find(properties); at != std::string_view::npos; at = b.find(properties, at + 16)) {
    const std::size_t specific = at + 78;
    if (At(b, at + 24, video) && kind.VideoKey.empty())
      VideoFormat(FourCc(b, specific + 11 + 16), kind);
    else if (At(b, at + 24, audio) && kind.AudioKey.empty())
      SoundFormat(Le16(b, specific), kind);
  }
}

// MP4 and QuickTime: the brand, and the sample entries' formats wherever the movie box is.
void ProbeIsoMedia(std::string_view b, TMediumKind& kind) {
  if (At(b, 4, "ftyp")) {
    const std::string brand = FourCc(b, 8);
    kind.Container = (brand == "qt  " ? "QuickTime" : "MP4") + std::string(" (brand ") + brand + ")";
  } else {
    kind.Container = "QuickTime";
  }
  for (std::size_t at = b.find("stsd"); at != std::string_view::npos; at = b.find("stsd", at + 4)) {
    const std::string format = FourCc(b, at + 16);
    if (format == "avc1" || format == "avc3") {
      kind.Video = "H.264";
      kind.VideoKey = "h264";
    } else if (format == "hvc1" || format == "hev1") {
      kind.Video = "H.265";
      kind.VideoKey = "h265";
    } else if (format == "mp4v") {
      kind.Video = "MPEG-4 Visual";
      kind.VideoKey = "mpeg4";
    } else if (format == "jpeg") {
      kind.Video = "Motion JPEG";
      kind.VideoKey = "mjpeg";
    } else if (format == "mp4a") {
      kind.Audio = "AAC";
      kind.AudioKey = "aac";
    } else if (format == ".mp3") {
      kind.Audio = "MP3";
      kind.AudioKey = "mp3";
    } else if (format == "sowt" || format == "twos" || format == "lpcm") {
      kind.Audio = "PCM";
      kind.AudioKey = "pcm";
    }
  }
}

// An MPEG audio frame header at at: layer and version.
bool MpegAudioFrame(std::string_view b, std::size_t at, TMediumKind& kind) {
  const unsigned a = Byte(b, at), c = Byte(b, at + 1);
  if (a != 0xFF || (c & 0xE0) != 0xE0) return false;
  const unsigned layer = (c >> 1) & 3;
  if ((c & 0x16) == 0x10 && layer == 0) {  // ADTS: layer bits 0
    kind.Container = "AAC (ADTS)";
    kind.Audio = "AAC";
    kind.AudioKey = "aac";
    return true;
  }
  if (layer == 0 || ((c >> 3) & 3) == 1) return false;
  kind.Container = layer == 1 ? "MP3" : "MPEG audio";
  kind.Audio = layer == 1 ? "MP3" : layer == 2 ? "MPEG audio layer II" : "MPEG audio layer I";
  kind.AudioKey = layer == 1 ? "mp3" : "mp2";
  return true;
}

}  // namespace

TMediumKind ProbeMedium(std::string_view b) {
  TMediumKind kind;
  if (At(b, 0, "RIFF")) {
    ProbeRiff(b, kind);
  } else if (At(b, 0, "MThd")) {
    kind.Container = "MIDI";
    kind.Audio = "MIDI";
    kind.AudioKey = "midi";
  } else if (At(b, 0, "\x30\x26\xB2\x75\x8E\x66\xCF\x11")) {
    ProbeAsf(b, kind);
  } else if (At(b, 4, "ftyp") || At(b, 4, "moov") || At(b, 4, "mdat") || At(b, 4, "wide")) {
    ProbeIsoMedia(b, kind);
  } else if (At(b, 0, std::string_view("\0\0\1\xBA", 4))) {
    const bool mpeg2 = (Byte(b, 4) & 0xC0) == 0x40;
    kind.Container = mpeg2 ? "MPEG-2 program stream" : "MPEG-1 program stream";
    kind.Video = mpeg2 ? "MPEG-2 video" : "MPEG-1 video";
    kind.VideoKey = "mpeg2";
  } else if (At(b, 0, std::string_view("\0\0\1\xB3", 4))) {
    kind.Container = "MPEG video";
    kind.Video = "MPEG-1/2 video";
    kind.VideoKey = "mpeg2";
  } else if (b.size() > 188 && Byte(b, 0) == 0x47 && Byte(b, 188) == 0x47) {
    kind.Container = "MPEG transport stream";
  } else if (At(b, 0, "FWS") || At(b, 0, "CWS") || At(b, 0, "ZWS")) {
    kind.Container = std::string("Flash movie (SWF ") + std::to_string(Byte(b, 3)) +
                     (b[0] == 'F' ? "" : b[0] == 'C' ? ", zlib-compressed" : ", LZMA-compressed") + ")";
    kind.VideoKey = "swf";
  } else if (At(b, 0, "OggS")) {
    kind.Container = "Ogg";
    if (b.find("\x01vorbis") != std::string_view::npos) kind.Audio = "Vorbis", kind.AudioKey = "vorbis";
    if (b.find("OpusHead") != std::string_view::npos) kind.Audio = "Opus", kind.AudioKey = "opus";
    if (b.find("\x80theora") != std::string_view::npos) kind.Video = "Theora", kind.VideoKey = "theora";
  } else if (At(b, 0, "fLaC")) {
    kind.Container = "FLAC";
    kind.Audio = "FLAC";
    kind.AudioKey = "flac";
  } else if (At(b, 0, "\x1A\x45\xDF\xA3")) {
    kind.Container = b.substr(0, 64).find("webm") != std::string_view::npos ? "WebM" : "Matroska";
  } else {
    // MP3: after an ID3 tag, or a frame at once.
    std::size_t at = 0;
    if (At(b, 0, "ID3") && b.size() >= 10)
      at = 10 + ((Byte(b, 6) & 0x7F) << 21 | (Byte(b, 7) & 0x7F) << 14 | (Byte(b, 8) & 0x7F) << 7 | (Byte(b, 9) & 0x7F));
    MpegAudioFrame(b, at, kind);
  }
  return kind;
}

std::string Describe(const TMediumKind& kind) {
  if (kind.Container.empty()) return "unknown format";
  std::string text = kind.Container;
  const bool sameAsContainer = kind.Audio == kind.Container;
  if (!kind.Video.empty()) text += ": video " + kind.Video;
  if (!kind.Audio.empty() && !sameAsContainer) text += (kind.Video.empty() ? ": sound " : ", sound ") + kind.Audio;
  return text;
}

std::string WineProblem(const TMediumKind& kind) {
  if (kind.Container.empty()) return "an unknown format";
  if (kind.VideoKey == "swf") return {};  // the movie control, when installed
  // Wine's video devices decode only uncompressed frames and its few built-in codecs.
  if (!kind.VideoKey.empty() && kind.VideoKey != "raw" && kind.VideoKey != "rle" && kind.VideoKey != "cram" &&
      kind.VideoKey != "cinepak")
    return "Wine has no decoder of its video, " + kind.Video;
  if (kind.AudioKey == "midi") return "Wine plays MIDI only with a MIDI synthesizer set up";
  if (kind.Container.starts_with("MP4") || kind.Container == "QuickTime" || kind.Container == "Ogg" ||
      kind.Container == "FLAC" || kind.Container == "WebM" || kind.Container == "Matroska" ||
      kind.Container.starts_with("AAC") || kind.Container.starts_with("MPEG transport"))
    return "Wine's media devices do not read " + kind.Container;
  return {};
}

std::vector<std::vector<std::string>> NativeDecoders(const TMediumKind& kind) {
  std::vector<std::vector<std::string>> groups;
  const auto add = [&](std::vector<std::string> group) { groups.push_back(std::move(group)); };
  if (kind.Container == "AVI") add({"avidemux"});
  else if (kind.Container == "ASF") add({"asfdemux"});
  else if (kind.Container.find("program stream") != std::string::npos) add({"mpegpsdemux"});
  else if (kind.Container.starts_with("MP4") || kind.Container == "QuickTime") add({"qtdemux"});
  else if (kind.Container.starts_with("MIDI")) add({"midiparse"});
  else if (kind.Container == "WAVE") add({"wavparse"});
  else if (kind.Container == "Ogg") add({"oggdemux"});
  else if (kind.Container == "WebM" || kind.Container == "Matroska") add({"matroskademux"});
  const std::string& v = kind.VideoKey;
  if (v == "mjpeg") add({"jpegdec", "avdec_mjpeg"});
  else if (v == "mpeg4") add({"avdec_mpeg4"});
  else if (v == "msmpeg4") add({"avdec_msmpeg4"});
  else if (v == "h264") add({"avdec_h264", "openh264dec"});
  else if (v == "h265") add({"avdec_h265"});
  else if (v == "wmv1") add({"avdec_wmv1"});
  else if (v == "wmv2") add({"avdec_wmv2"});
  else if (v == "wmv3") add({"avdec_wmv3", "avdec_vc1"});
  else if (v == "mpeg2") add({"mpeg2dec", "avdec_mpeg2video"});
  else if (v == "cinepak") add({"avdec_cinepak"});
  else if (v == "cram") add({"avdec_msvideo1"});
  else if (v == "rle") add({"avdec_msrle"});
  else if (v == "theora") add({"theoradec"});
  const std::string& a = kind.AudioKey;
  if (a == "mp3" || a == "mp2") add({"mpg123audiodec", "avdec_mp3", "avdec_mp2float"});
  else if (a == "aac") add({"avdec_aac", "faad", "fdkaacdec"});
  else if (a == "wma") add({"avdec_wmav2", "avdec_wmav1"});
  else if (a == "midi") add({"fluiddec", "wildmididec"});
  else if (a == "adpcm") add({"avdec_adpcm_ms", "avdec_adpcm_ima_wav"});
  else if (a == "vorbis") add({"vorbisdec"});
  else if (a == "opus") add({"opusdec"});
  else if (a == "flac") add({"flacdec"});
  return groups;
}

std::string NativeProblem(const TMediumKind& kind, const std::function<bool(const std::string&)>& hasElement) {
  if (kind.VideoKey == "swf") return "Flash movies play only on Windows";
  if (kind.Container.empty()) return "an unknown format";
  std::string missing;
  for (const std::vector<std::string>& group : NativeDecoders(kind)) {
    bool any = false;
    for (const std::string& element : group) any = any || hasElement(element);
    if (!any) missing += (missing.empty() ? "" : ", ") + group.front();
  }
  return missing.empty() ? missing : "missing GStreamer element " + missing;
}

}  // namespace lumora::media
