// A desktop in memory for tests: top-level windows by title, named mutexes, the
// password service and the application shell. Every call is recorded in order, so a
// test can compare what a mode did with what it should have done.
#pragma once

#include "platform/app_shell.h"
#include "platform/named_mutex.h"
#include "platform/password.h"
#include "platform/window_lookup.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace lumora::platform {

class THeadlessDesktop final : public INamedMutexes, public IWindowLookup, public IScreenSaverPassword {
 public:
  // What the desktop was asked to do, one line per call ("Initialize", "EmbedIn 123").
  std::vector<std::string> Calls;

  // The monitors the desktop reports (none unless a test sets them).
  TMonitorList Monitors;

  // A top-level window of another program.
  TWindowHandle AddWindow(std::string title, bool visible = true);
  void RemoveWindow(TWindowHandle handle) { windows_.erase(handle); }
  bool IsVisible(TWindowHandle handle) const;
  // A mutex that another process holds; a brief holder lets it go once it is waited for.
  void HoldMutex(std::string name, bool brief = false);
  // The system refuses to make the form a child of any window.
  bool RefuseEmbedding = false;

  TNamedMutex CreateNamedMutex(std::string_view name) override;
  TNamedMutex WaitForNamedMutex(std::string_view name, std::uint32_t timeoutMs) override;
  bool HideTopLevelWindow(std::string_view title) override;
  bool ActivateTopLevelWindow(std::string_view title) override;
  bool WindowExists(TWindowHandle handle) override;
  void ChangePassword(TWindowHandle parent) override;

 private:
  friend class THeadlessMutex;
  struct TWindow {
    std::string Title;
    bool Visible;
  };
  std::map<TWindowHandle, TWindow> windows_;
  std::multiset<std::string> mutexes_;  // one entry per open handle
  std::set<std::string> briefHolders_;
  TWindowHandle nextHandle_ = 0x10000;
};

// The application shell on the headless desktop. Run() shows the main form (FormShow)
// and returns at once, as if the user had closed it (FormClose). A test that wants the
// form to stay up calls ShowMainForm instead and plays the loop itself: DispatchMessage
// for input, ProcessMessages for a close the form asked for.
class THeadlessApplicationShell final : public IApplicationShell {
 public:
  explicit THeadlessApplicationShell(THeadlessDesktop& desktop) : desktop_(desktop) {}

  struct TApplicationWindow {
    bool Exists = false;
    std::string Title;
    bool Visible = false;
    bool ToolWindow = false;
    bool PreviewStyles = false;
  };
  const TApplicationWindow& ApplicationWindow() const { return app_; }
  // The properties of the last main form created.
  const TFormProperties& MainFormProperties() const { return formProperties_; }
  // Where the main form was last placed by SetBounds; none while it keeps its design.
  const std::optional<TRect>& MainFormBounds() const { return formBounds_; }
  TWindowHandle MainFormHandle() const { return formHandle_; }
  // Every cover window opened so far, in order; closed ones stay listed.
  struct TCover {
    TWindowHandle Handle = 0;
    TWindowHandle Owner = 0;
    TRect Bounds;
    bool Open = true;
  };
  const std::vector<TCover>& Covers() const { return covers_; }
  std::vector<TRect> OpenCoverRects() const;

  // Shows the main form (FormShow) and leaves it open.
  void ShowMainForm();
  // A message as the loop takes it from the queue: the filter sees it first.
  void Deliver(const TMessage& message);
  // Tells the main form that the monitors changed (after a test changed them).
  void ChangeDisplay();

  void SetTitle(std::string_view title) override;
  void Initialize() override;
  std::unique_ptr<IFormWindow> CreateMainForm(const TFormProperties& properties, IFormEvents& events) override;
  void HideApplicationWindow() override;
  void MakeApplicationToolWindow() override;
  void SetPreviewApplicationStyles() override;
  void Run() override;
  void SetMessageFilter(TMessageFilter filter) override { filter_ = std::move(filter); }
  // A close the main form asked for closes it now (FormClose).
  void ProcessMessages() override;
  TMonitorList Monitors() const override { return desktop_.Monitors; }

 private:
  friend class THeadlessFormWindow;
  friend class THeadlessCoverWindow;
  THeadlessDesktop& desktop_;
  TApplicationWindow app_;
  TFormProperties formProperties_;
  IFormEvents* mainFormEvents_ = nullptr;
  TWindowHandle formHandle_ = 0;
  std::optional<TRect> formBounds_;
  std::vector<TCover> covers_;
  TMessageFilter filter_;
  bool formShown_ = false;
  bool closeAsked_ = false;
  bool formClosed_ = false;
};

}  // namespace lumora::platform
