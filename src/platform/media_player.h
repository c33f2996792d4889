// A multimedia player: one medium at a time (a sound or a video), opened from a file
// whose extension lets the system choose the device, driven by commands that may each
// report their completion.
#pragma once

#include "imaging/region.h"
#include "platform/surface.h"
#include "platform/window_handle.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

namespace lumora::platform {

// The player's mode as the system reports it; Other covers not open, not ready, seeking,
// recording and whatever else a device may say.
enum class TMediaMode { Stopped, Playing, Paused, Other };

// How a command that asked for notification ended.
enum class TMediaNotifyResult { Successful, Superseded, Aborted, Failure };

class IMediaPlayer {
 public:
  virtual ~IMediaPlayer() = default;

  // The commands. Each returns false when the system refused it. A command issued after
  // NotifyNext reports its completion through OnNotify, later, from the UI thread's
  // message loop; a command that the system refuses reports nothing.
  // Opens path; the system picks the device from the extension. Fails while a medium
  // is open.
  virtual bool Open(const std::filesystem::path& path) = 0;
  virtual bool Close() = 0;
  // Plays from the current position to the end; at the end of the medium it starts
  // again from the beginning.
  virtual bool Play() = 0;
  virtual bool Pause() = 0;
  // Steps back one frame (devices without frames refuse it).
  virtual bool StepBack() = 0;

  // Queries, never notified. Position and length are in milliseconds; nullopt when no
  // medium is open or the device cannot tell.
  virtual TMediaMode Mode() = 0;
  virtual std::optional<std::uint32_t> Position() = 0;
  virtual std::optional<std::uint32_t> Length() = 0;

  // Asks for a completion notification of the next command only.
  virtual void NotifyNext() = 0;
  // Receives the completion notifications. Runs on the UI thread; must not throw.
  virtual void SetOnNotify(std::function<void(TMediaNotifyResult)> onNotify) = 0;

  // ---- Video. A device without a picture refuses all of these. ----
  // The window the frames are drawn into; takes effect for the medium open now.
  virtual bool SetDisplayWindow(TWindowHandle window) { (void)window; return false; }
  // The destination rectangle's size as the device reports it right after opening: the
  // video's native size.
  virtual std::optional<TSize> DestinationSize() { return std::nullopt; }
  // Where in the display window the frames go (its client coordinates).
  virtual bool SetDestination(const TRect& rect) { (void)rect; return false; }
  // Position and Length count frames from now on, until the next Open.
  virtual bool SetTimeFormatFrames() { return false; }
  // Back to the first frame; the next Play starts there.
  virtual bool Rewind() { return false; }
};

}  // namespace lumora::platform
