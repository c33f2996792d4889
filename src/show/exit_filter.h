// Ending the show: the filter over every message the loop takes from the queue, the
// screen-saver password check, and the deferred exit while the show is busy.
#pragma once

#include "platform/show_system.h"

#include <cstdint>
#include <functional>
#include <string>

namespace lumora {

// The show-state flags of the form (one show per process). The form owns them; the
// exit filter reads the busy ones and sets ExitRequested and ExitPending.
struct TShowFlags {
  bool Loading = false;
  bool TickBusy = false;
  bool ItemBusy = false;
  bool SoundBusy = false;   // a sound is being extracted (background music)
  bool NotifyBusy = false;  // the music player's completion handler runs
  bool BackgroundApplied = false;
  bool PreviewPictureShown = false;
  bool FlashAfterShowOut = false;
  bool ExitRequested = false;
  bool ExitPending = false;
};

struct TExitPlatform {
  platform::IShowSystem& System;
  platform::IRegistry& Registry;
  platform::IPasswordLibraries& Passwords;
};

// The registry key and value that say whether the screen saver asks for a password.
inline constexpr std::string_view kDesktopKey = "Control Panel\\Desktop";
inline constexpr std::string_view kUsePasswordValue = "ScreenSaveUsePassword";
inline constexpr std::string_view kPasswordLibrary = "PASSWORD.CPL";

class TExitFilter {
 public:
  struct THooks {
    std::function<bool()> DrawingCaption;         // the view is drawing its caption
    std::function<void()> CloseNow;               // disable timScr and close the form
    std::function<platform::TWindowHandle()> FormWindow;  // for the input-method hot key
  };

  // runMode: the first argument upper-cased without its first character.
  TExitFilter(const TExitPlatform& platform, TShowFlags& flags, std::string runMode, THooks hooks);

  // The user settings that govern the exit.
  void SetHowToExit(std::int32_t value) { howToExit_ = value; }
  std::int32_t HowToExit() const { return howToExit_; }
  void SetIsShowCursor(bool value) { isShowCursor_ = value; }
  // The mouse movement that ends the show, in pixels of the screen: 3 at 96 dots per
  // inch, scaled with the screen's dots per inch by the platform.
  void SetMouseThreshold(int pixels) { mouseThreshold_ = pixels < 1 ? 1 : pixels; }
  int MouseThreshold() const { return mouseThreshold_; }

  int FirstMouseX() const { return firstMouseX_; }
  int FirstMouseY() const { return firstMouseY_; }
  void ClearFirstMousePosition() { firstMouseX_ = firstMouseY_ = 0; }

  // Looks at one message before it is dispatched; never marks it handled. Never throws.
  void ExitFilter(const platform::TMessage& message);
  // Another application took the foreground from the full-screen show: it ends as on an
  // exit input (password, deferred while busy), unless HowToExit lets nothing end it.
  // A preview never ends this way.
  void Deactivated();
  // True when the show may end.
  bool VerifyPassword();
  // Whether any step of the show is in a stretch during which an exit must wait.
  bool Busy() const;

 private:
  // ExitRequested is set: ask for the password, then close or defer.
  void DecideExit();

  TExitPlatform platform_;
  TShowFlags& flags_;
  std::string runMode_;
  THooks hooks_;
  std::int32_t howToExit_ = 15;
  bool isShowCursor_ = false;
  int firstMouseX_ = 0;
  int firstMouseY_ = 0;
  int mouseThreshold_ = 3;
};

// A registry value as the password switch: numbers as they are, texts that read as a
// decimal integer as that integer, anything else 0.
std::int64_t RegistryValueAsInteger(const platform::TRegistryValue& value);

}  // namespace lumora
