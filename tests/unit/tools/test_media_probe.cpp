// Media told from their bytes: container and codecs, whether the Windows player under
// Wine plays them, and what the native player would lack.
#include "media_probe.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace lumora::media {
namespace {

std::string Le32(std::uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
std::string Le16(std::uint16_t v) { return {char(v), char(v >> 8)}; }

std::string Wave(std::uint16_t tag) { return "RIFF" + Le32(36) + "WAVE" + "fmt " + Le32(16) + Le16(tag) + std::string(14, '\0'); }

std::string Avi(const std::string& fourcc) {
  const std::string strh = "strh" + Le32(56) + "vids" + fourcc + std::string(48, '\0');
  const std::string strf = "strf" + Le32(40) + Le32(40) + Le32(160) + Le32(120) + Le16(1) + Le16(24) + fourcc;
  return "RIFF" + Le32(4 + strh.size() + strf.size()) + "AVI " + strh + strf + std::string(20, '\0');
}

std::string Asf(const std::string& fourcc) {
  const std::string properties("\x91\x07\xDC\xB7\xB7\xA9\xCF\x11\x8E\xE6\x00\xC0\x0C\x20\x53\x65", 16);
  const std::string video = std::string("\xC0\xEF\x19\xBC", 4) + std::string(12, '\0');
  return std::string("\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16) + std::string(14, '\0') +
         properties + std::string(8, '\0') + video + std::string(38, '\0') + std::string(27, '\0') + fourcc;
}

std::string Stsd(const std::string& format) { return "stsd" + std::string(8, '\0') + Le32(100) + format; }

TEST(MediaProbe, TellsFormatsFromTheirBytesAndWhereTheyPlay) {
  const struct {
    const char* Name;
    std::string Bytes;
    const char* Described;
    bool WinePlays;
    const char* NativeLacks;  // with every decoder of H.264 missing
  } cases[] = {
      {"wav", Wave(1), "WAVE: sound PCM", true, ""},
      {"wav mp3", Wave(0x55), "WAVE: sound MP3", true, ""},
      {"avi", Avi("FMP4"), "AVI: video MPEG-4 Visual (FMP4)", false, ""},
      {"avi raw", Avi(std::string(4, '\0')), "AVI: video uncompressed", true, ""},
      {"midi", "MThd" + Le32(6), "MIDI", false, ""},
      {"mp4", std::string(4, '\0') + "ftypisom" + Stsd("avc1") + Stsd("mp4a"), "MP4 (brand isom): video H.264, sound AAC",
       false, "missing GStreamer element avdec_h264"},
      {"mp3", "ID3" + std::string(7, '\0') + "\xFF\xFB\x90\x00", "MP3", true, ""},
      {"mpeg-1", std::string("\0\0\1\xBA\x21", 5), "MPEG-1 program stream: video MPEG-1 video", false, ""},
      {"wmv", Asf("WMV2"), "ASF: video WMV 8 (WMV2)", false, ""},
      {"swf", "FWS\x08" + Le32(100), "Flash movie (SWF 8)", true, "Flash movies play only on Windows"},
      {"unknown", "hello, world", "unknown format", false, "an unknown format"},
  };
  const std::set<std::string> missing = {"avdec_h264", "openh264dec"};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const TMediumKind kind = ProbeMedium(c.Bytes);
    EXPECT_EQ(Describe(kind), c.Described);
    EXPECT_EQ(WineProblem(kind).empty(), c.WinePlays) << WineProblem(kind);
    EXPECT_EQ(NativeProblem(kind, [&](const std::string& e) { return missing.count(e) == 0; }), c.NativeLacks);
  }
}

}  // namespace
}  // namespace lumora::media
