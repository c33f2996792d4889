// TMainFrm, the one window of a running show, full-screen or inside the preview
// window: the designed form properties and FormCreate. The show played on it (its
// view, sequencer and exit handling) is attached by the entry and hears FormShow and
// FormClose through this window shell.
//
// Full-screen, the form takes the primary monitor's rectangle itself rather than
// trusting a window manager to honour "maximized", and every other monitor gets a
// black cover window of the form's own while the form is shown.
#pragma once

#include "platform/app_shell.h"

#include <memory>
#include <optional>
#include <vector>

namespace lumora {

// The monitor the full-screen show plays on: the one marked primary; failing that the
// one holding the origin, failing that the first. None for an empty list.
std::optional<TRect> PrimaryMonitorBounds(const platform::TMonitorList& monitors);

// What must be covered besides the show: every monitor's area outside primary, as at
// most four rectangles per monitor (the bands above and below primary, and beside it).
// A monitor inside primary (a mirror) needs no cover; a cover never overlaps primary,
// as covers stay above the form they belong to.
std::vector<TRect> CoverRects(const platform::TMonitorList& monitors, const TRect& primary);

class TMainFrm final : public platform::IFormEvents {
 public:
  // Creates the form's window as the application's main form (not shown yet).
  explicit TMainFrm(platform::IApplicationShell& application);
  ~TMainFrm() override;
  TMainFrm(const TMainFrm&) = delete;
  TMainFrm& operator=(const TMainFrm&) = delete;

  static platform::TFormProperties DesignedProperties();

  platform::IFormWindow& Window() { return *window_; }

  void FormCreate() override;
  void FormShow() override;
  void FormClose() override;
  void FormDisplayChanged() override;
  void FormDeactivated() override;
  void FormDisplayPower(bool on) override;

  // The show that plays on this form; null for none (the client area stays black).
  void AttachShow(platform::IFormEvents* show) { show_ = show; }

  // The cover windows open now.
  std::size_t CoverCount() const { return covers_.size(); }

 private:
  // Puts the form on the primary monitor and, withCovers, opens the covers anew.
  void TakeScreens(bool withCovers);

  platform::IApplicationShell& application_;
  std::unique_ptr<platform::IFormWindow> window_;
  platform::IFormEvents* show_ = nullptr;
  bool fullScreen_ = false;
  bool shown_ = false;
  // After window_, so that the covers close before the form they belong to.
  std::vector<std::unique_ptr<platform::ICoverWindow>> covers_;
};

}  // namespace lumora
