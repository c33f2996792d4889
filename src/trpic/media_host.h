// The view's media host: videos and movies played as show items inside the view. A
// panel takes the medium's place on the screen and is cut to the item's shape; the
// video player or the movie control draws into a panel of its own above the frame
// image; a 100 ms timer reports the progress through the view's OnPlayVideoProgress.
#pragma once

#include "imaging/bitmap32.h"
#include "imaging/picture.h"
#include "imaging/region.h"
#include "platform/activex.h"
#include "platform/media_panel.h"
#include "platform/media_player.h"
#include "platform/random.h"
#include "platform/timer.h"
#include "trpic/flash_control.h"
#include "trpic/media_view.h"
#include "trpic/trpic_types.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace lumora {

// What the media host needs of the system; all of it outlives the view.
struct TMediaHostPlatform {
  platform::IMediaPanels& Panels;
  platform::ITimers& Timers;
  // The video player, made on the first video item.
  std::function<std::unique_ptr<platform::IMediaPlayer>()> CreatePlayer;
  // Handles the messages waiting in the UI thread's queue.
  std::function<void()> ProcessMessages;
  // Where movie controls come from; null: movies do not play.
  platform::IActiveXHost* ActiveX = nullptr;
  // Milliseconds of a steady clock, for the wait until a movie stops; null: no wait.
  std::function<std::uint64_t()> TickCount;
};

// Where a medium of native size nw x nh goes in a client of cw x ch on a screen of
// sw x sh: the picture rules, always scaled to the client, with random positions that
// stay within the client where it can.
struct TMediaPlacement {
  TPicSize PicSize = TPicSize::psOriginal;
  TPicSizeRef PicSizeRef = TPicSizeRef::psrScreen;
  float PicSizeHor = 100;
  float PicSizeVer = 100;
  TPicPos PicPos = TPicPos::poCenter;
  float PicPosHor = 0;
  float PicPosVer = 0;
};
TRect MediaRect(int nw, int nh, const TMediaPlacement& placement, platform::TSize client, platform::TSize screen,
                platform::IRandom& random);

// The frame size of an uncompressed movie file, from the rectangle in its header;
// nullopt when the file is missing or too short, 0 x 0 for a compressed one (its
// rectangle is not stored in plain form).
std::optional<platform::TSize> ReadSwfFrameSize(const std::filesystem::path& fileName);

// A shape picture stretched to the medium's size, taken apart: Outer (region A) is
// every pixel that is not black, Inner (region B) exactly the white ones, and Frame the
// stretched picture with its white turned black (what the frame image shows).
struct TMediaShape {
  TRegion Outer;
  TRegion Inner;
  TBitmap32 Frame;
};
TMediaShape MakeMediaShape(const TBitmap32& shape, int width, int height);

class TMediaHost {
 public:
  TMediaHost(IMediaView& view, const TMediaHostPlatform& platform, platform::IRandom& random, platform::TSize screen);
  ~TMediaHost();
  TMediaHost(const TMediaHost&) = delete;
  TMediaHost& operator=(const TMediaHost&) = delete;

  bool PrepareMedia(int kind, bool previewMsg);
  bool OpenMedia(const std::filesystem::path& fileName, TPicSize picSize, const std::string& shapeFile,
                 float picPosVer, float picPosHor, TPicPos picPos, TPicSizeRef picSizeRef, float picSizeVer,
                 float picSizeHor);
  void PlayMedia(std::uint32_t interval);
  void RewindMedia();
  void CloseMedia();
  void FreeMedia();
  // One tick of ProgressTimer.
  void ProgressCheck();

  int MediaKind() const { return mediaKind_; }
  platform::ITimer* ProgressTimer() const { return progressTimer_.get(); }
  platform::IMediaPanel* MediaPanel() const { return mediaPanel_.get(); }
  platform::IMediaPanel* FlashPanel() const { return flashPanel_.get(); }
  platform::IMediaPanel* ShapeImage() const { return shapeImage_.get(); }
  platform::IMediaPanel* VideoPanel() const { return videoPanel_.get(); }
  platform::IMediaPlayer* VideoPlayer() const { return player_.get(); }
  TExShockwaveFlash* FlashControl() const { return flash_.get(); }
  bool ShapedVideo() const { return shapedVideo_; }
  bool ShapedFlash() const { return shapedFlash_; }

 private:
  std::unique_ptr<platform::IMediaPanel> NewPanel(platform::IMediaPanel* parent, TMouseSource source);
  void CloseVideoPlayer();
  void FreeFlash();
  bool PrepareFlash(bool previewMsg);
  void FlashProgress();
  void RaiseProgress(bool complete, int percent);

  IMediaView& view_;
  TMediaHostPlatform platform_;
  platform::IRandom& random_;
  platform::TSize screen_;
  int mediaKind_ = 0;
  std::unique_ptr<platform::ITimer> progressTimer_;
  // Children before parents in destruction: members are destroyed in reverse order.
  std::unique_ptr<platform::IMediaPanel> mediaPanel_;
  std::unique_ptr<platform::IMediaPanel> flashPanel_;
  std::unique_ptr<platform::IMediaPanel> shapeImage_;
  std::unique_ptr<platform::IMediaPanel> videoPanel_;
  std::unique_ptr<platform::IMediaPlayer> player_;
  std::unique_ptr<TExShockwaveFlash> flash_;
  bool videoOpen_ = false;
  bool shapedVideo_ = false;
  bool shapedFlash_ = false;
};

}  // namespace lumora
