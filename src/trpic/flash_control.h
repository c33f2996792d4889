// The movie control of Flash items: the system's control wrapped with the properties the
// media host drives, and a mouse filter in front of its window, so that the movie sees
// left clicks only when the show lets the user click it and never sees anything else.
#pragma once

#include "platform/activex.h"
#include "platform/surface.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace lumora {

// A property or method of the control that failed.
class EOleError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr std::string_view kFlashClassName = "ShockwaveFlash.ShockwaveFlash";
// The class that the control file serves, asked of the file itself when it is loaded
// without registration.
inline constexpr std::string_view kFlashClassId = "{D27CDB6E-AE6D-11CF-96B8-444553540000}";

class TExShockwaveFlash {
 public:
  using TMouseEvent = std::function<void(TExShockwaveFlash& sender, platform::TMouseButton button,
                                         platform::TShiftState shift, int x, int y)>;
  using TMouseMoveEvent = std::function<void(TExShockwaveFlash& sender, platform::TShiftState shift, int x, int y)>;
  using TNotifyEvent = std::function<void(TExShockwaveFlash& sender)>;

  // Null with the reason in failure when the control cannot be made; parent null: the
  // object alone, as a test whether the class is registered.
  static std::unique_ptr<TExShockwaveFlash> Create(platform::IActiveXHost& host, platform::IMediaPanel* parent,
                                                   platform::TActiveXFailure& failure);
  explicit TExShockwaveFlash(std::unique_ptr<platform::IActiveXControl> control);
  TExShockwaveFlash(const TExShockwaveFlash&) = delete;
  TExShockwaveFlash& operator=(const TExShockwaveFlash&) = delete;

  // True: left presses and releases go to the events instead of the movie.
  bool PreviewMsg = false;
  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseUp;
  TNotifyEvent OnDblClick;

  // One mouse message of the control's window: raises the events it stands for and
  // tells whether the movie gets it as well.
  bool WndProc(platform::TControlMessage message, int x, int y);
  // Whether the movie gets a message, by the same table, raising nothing.
  bool Passes(platform::TControlMessage message) const;

  // The control's properties and methods; each throws EOleError when the control fails.
  std::string Movie();
  void SetMovie(const std::string& movie);
  void SetLoop(bool loop);
  void SetScaleMode(std::int32_t mode);
  std::int32_t FrameNum();
  void SetFrameNum(std::int32_t frame);
  std::int32_t TotalFrames();
  bool Playing();
  void Play();
  void Rewind();
  void StopPlay();

  void SetBounds(const TRect& bounds) { control_->SetBounds(bounds); }
  void SetVisible(bool visible) { control_->SetVisible(visible); }
  platform::IActiveXControl& Control() { return *control_; }

 private:
  std::int32_t IntegerProperty(std::string_view name);
  void Set(std::string_view name, const platform::TDispValue& value);
  void Invoke(std::string_view method);

  std::unique_ptr<platform::IActiveXControl> control_;
};

}  // namespace lumora
