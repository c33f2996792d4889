// The device a medium opens with on Windows: the containers the system's extension list
// leaves out go to the general device, whatever their case; the rest stay the system's.
#include "platform/media_device.h"

#include <gtest/gtest.h>

namespace lumora::platform {
namespace {

TEST(MediaDevice, UnlistedContainersOpenWithTheGeneralDeviceTheRestWithTheSystemsChoice) {
  const struct {
    const char* Path;
    std::string_view Device;
  } cases[] = {
      {"C:\\Temp\\tmp1.mp4", "mpegvideo"}, {"tmp2.M4A", "mpegvideo"}, {"a.m4v", "mpegvideo"},
      {"a.mov", "mpegvideo"},              {"a.aac", "mpegvideo"},    {"a.flac", "mpegvideo"},
      {"a.mkv", "mpegvideo"},              {"a.WebM", "mpegvideo"},   {"a.ogg", "mpegvideo"},
      {"a.wav", ""},                       {"a.mid", ""},             {"a.avi", ""},
      {"a.mp3", ""},                       {"a.mpg", ""},             {"a.wmv", ""},
      {"mp4", ""},                         {"", ""},                  {"a.mp4.wav", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(MediaDeviceType(c.Path), c.Device) << c.Path;
}

}  // namespace
}  // namespace lumora::platform
