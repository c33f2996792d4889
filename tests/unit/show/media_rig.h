// A show whose view hosts media: recorded panels, and scripted video players on the
// virtual clock. A video entry holds its description as text: "video W H FRAMES MS"
// (anything else does not open).
#pragma once

#include "platform/headless/headless_activex.h"
#include "platform/headless/headless_media_panel.h"
#include "platform/headless/headless_media_player.h"
#include "show_rig.h"
#include "trpic/media_host.h"

#include <fstream>
#include <iterator>
#include <sstream>

namespace lumora::testing {

inline std::optional<platform::THeadlessMediaPlayer::TMedium> VideoOfFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::istringstream text(std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()});
  std::string word;
  platform::THeadlessMediaPlayer::TMedium medium;
  medium.Video = true;
  if (!(text >> word >> medium.Width >> medium.Height >> medium.Frames >> medium.Length) || word != "video")
    return std::nullopt;
  return medium;
}

// The first bytes of an uncompressed movie whose frame is w x h twips (15-bit fields).
inline std::vector<std::byte> MovieHeader(std::uint32_t w, std::uint32_t h) {
  std::vector<std::byte> bytes{std::byte{'F'}, std::byte{'W'}, std::byte{'S'}, std::byte{6}};
  bytes.resize(8 + 9);
  int bit = 8 * 8;
  const auto put = [&](std::uint32_t v, int width) {
    for (int i = width - 1; i >= 0; --i, ++bit)
      if ((v >> i) & 1u) bytes[std::size_t(bit / 8)] |= std::byte(0x80 >> (bit % 8));
  };
  put(15, 5);
  for (std::uint32_t v : {0u, w, 0u, h}) put(v, 15);
  return bytes;
}

struct TMediaRig : TShowRig {
  explicit TMediaRig(platform::TSize client = {320, 240}, platform::TSize screen = {320, 240}, bool withThreads = false)
      : TShowRig("S", client, screen, withThreads) {
    View.SetMediaPlatform(TMediaHostPlatform{Panels, Clock,
                                             [this] {
                                               auto player = std::make_unique<platform::THeadlessMediaPlayer>(Clock);
                                               player->Media = VideoOfFile;
                                               Player = player.get();
                                               return player;
                                             },
                                             [this] {
                                               if (OnProcessMessages) OnProcessMessages();
                                             },
                                             &ActiveX, [this] { return Clock.Now(); }});
  }
  ~TMediaRig() {
    Show.reset();
    // The panels go before the recorder they report to.
    View.FreeMedia();
  }

  // The panels of the host, by their part.
  platform::THeadlessMediaPanel* Panel(platform::IMediaPanel* p) const {
    return static_cast<platform::THeadlessMediaPanel*>(p);
  }
  TMediaHost& Host() { return *View.MediaHost(); }
  int Count(std::string_view call) const {
    return Player == nullptr ? 0 : int(std::count_if(Player->Calls.begin(), Player->Calls.end(), [&](const std::string& c) {
      return c.starts_with(call);
    }));
  }

  platform::THeadlessMediaPanels Panels;
  platform::THeadlessActiveXHost ActiveX{Clock};
  platform::THeadlessMediaPlayer* Player = nullptr;
  std::function<void()> OnProcessMessages;
};

}  // namespace lumora::testing
