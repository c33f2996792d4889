#include "platform/headless/headless_desktop.h"

namespace lumora::platform {

class THeadlessMutex final : public INamedMutex {
 public:
  THeadlessMutex(THeadlessDesktop& desktop, std::string name) : desktop_(desktop), name_(std::move(name)) {
    desktop_.mutexes_.insert(name_);
  }
  ~THeadlessMutex() override {
    desktop_.mutexes_.erase(desktop_.mutexes_.find(name_));
    desktop_.Calls.push_back("ReleaseMutex " + name_);
  }
  THeadlessMutex(const THeadlessMutex&) = delete;
  THeadlessMutex& operator=(const THeadlessMutex&) = delete;

 private:
  THeadlessDesktop& desktop_;
  std::string name_;
};

class THeadlessCoverWindow final : public ICoverWindow {
 public:
  THeadlessCoverWindow(THeadlessApplicationShell& shell, std::size_t index) : shell_(shell), index_(index) {}
  ~THeadlessCoverWindow() override {
    THeadlessApplicationShell::TCover& cover = shell_.covers_[index_];
    cover.Open = false;
    shell_.desktop_.RemoveWindow(cover.Handle);
  }
  THeadlessCoverWindow(const THeadlessCoverWindow&) = delete;
  THeadlessCoverWindow& operator=(const THeadlessCoverWindow&) = delete;

  TWindowHandle Handle() const override { return shell_.covers_[index_].Handle; }

 private:
  THeadlessApplicationShell& shell_;
  std::size_t index_;
};

class THeadlessFormWindow final : public IFormWindow {
 public:
  THeadlessFormWindow(THeadlessApplicationShell& shell, TWindowHandle handle) : shell_(shell), handle_(handle) {}
  ~THeadlessFormWindow() override { shell_.mainFormEvents_ = nullptr; }
  THeadlessFormWindow(const THeadlessFormWindow&) = delete;
  THeadlessFormWindow& operator=(const THeadlessFormWindow&) = delete;

  TWindowHandle Handle() const override { return handle_; }
  void SetFormStyle(TFormStyle style) override {
    shell_.desktop_.Calls.push_back(style == TFormStyle::fsStayOnTop ? "SetFormStyle fsStayOnTop"
                                                                     : "SetFormStyle fsNormal");
  }
  bool EmbedIn(TWindowHandle parent) override {
    shell_.desktop_.Calls.push_back("EmbedIn " + std::to_string(parent) +
                                    (shell_.desktop_.RefuseEmbedding ? " -> refused" : ""));
    return !shell_.desktop_.RefuseEmbedding;
  }
  void Close() override {
    shell_.desktop_.Calls.push_back("CloseForm");
    shell_.closeAsked_ = true;
  }
  void SetBounds(const TRect& bounds) override { shell_.formBounds_ = bounds; }
  std::unique_ptr<ICoverWindow> OpenCover(const TRect& bounds) override {
    const TWindowHandle handle = shell_.desktop_.AddWindow("", true);
    shell_.covers_.push_back({handle, handle_, bounds, true});
    return std::make_unique<THeadlessCoverWindow>(shell_, shell_.covers_.size() - 1);
  }

 private:
  THeadlessApplicationShell& shell_;
  TWindowHandle handle_;
};

TWindowHandle THeadlessDesktop::AddWindow(std::string title, bool visible) {
  const TWindowHandle handle = nextHandle_++;
  windows_[handle] = TWindow{std::move(title), visible};
  return handle;
}

bool THeadlessDesktop::IsVisible(TWindowHandle handle) const {
  const auto it = windows_.find(handle);
  return it != windows_.end() && it->second.Visible;
}

void THeadlessDesktop::HoldMutex(std::string name, bool brief) {
  if (brief) briefHolders_.insert(name);
  mutexes_.insert(std::move(name));
}

TNamedMutex THeadlessDesktop::WaitForNamedMutex(std::string_view name, std::uint32_t timeoutMs) {
  Calls.push_back("WaitForNamedMutex " + std::string(name) + " " + std::to_string(timeoutMs));
  const auto brief = briefHolders_.find(std::string(name));
  if (brief != briefHolders_.end()) {
    mutexes_.erase(mutexes_.find(*brief));
    briefHolders_.erase(brief);
  }
  return CreateNamedMutex(name);
}

bool THeadlessDesktop::ActivateTopLevelWindow(std::string_view title) {
  Calls.push_back("ActivateTopLevelWindow " + std::string(title));
  for (const auto& [handle, window] : windows_)
    if (window.Title == title) return true;
  return false;
}

TNamedMutex THeadlessDesktop::CreateNamedMutex(std::string_view name) {
  const bool existed = mutexes_.count(std::string(name)) > 0;
  Calls.push_back("CreateNamedMutex " + std::string(name) + (existed ? " -> AlreadyExisted" : " -> Created"));
  TNamedMutex result;
  result.Outcome = existed ? TMutexOutcome::AlreadyExisted : TMutexOutcome::Created;
  result.Handle = std::make_unique<THeadlessMutex>(*this, std::string(name));
  return result;
}

bool THeadlessDesktop::HideTopLevelWindow(std::string_view title) {
  Calls.push_back("HideTopLevelWindow " + std::string(title));
  for (auto& [handle, window] : windows_) {
    if (window.Title == title) {
      window.Visible = false;
      return true;
    }
  }
  return false;
}

bool THeadlessDesktop::WindowExists(TWindowHandle handle) {
  Calls.push_back("WindowExists " + std::to_string(handle));
  return windows_.count(handle) > 0;
}

void THeadlessDesktop::ChangePassword(TWindowHandle parent) {
  Calls.push_back("ChangePassword " + std::to_string(parent));
}

void THeadlessApplicationShell::SetTitle(std::string_view title) {
  desktop_.Calls.push_back("SetTitle " + std::string(title));
  app_.Title = title;
}

void THeadlessApplicationShell::Initialize() {
  desktop_.Calls.push_back("Initialize");
  app_.Exists = true;
}

std::unique_ptr<IFormWindow> THeadlessApplicationShell::CreateMainForm(const TFormProperties& properties,
                                                                      IFormEvents& events) {
  desktop_.Calls.push_back("CreateMainForm " + properties.ClassName + " \"" + properties.Caption + "\"");
  formProperties_ = properties;
  mainFormEvents_ = &events;
  formHandle_ = desktop_.AddWindow(properties.Caption, false);
  formBounds_.reset();
  formShown_ = closeAsked_ = formClosed_ = false;
  auto form = std::make_unique<THeadlessFormWindow>(*this, formHandle_);
  events.FormCreate();
  return form;
}

void THeadlessApplicationShell::HideApplicationWindow() {
  desktop_.Calls.push_back("HideApplicationWindow");
  app_.Visible = false;
}

void THeadlessApplicationShell::MakeApplicationToolWindow() {
  desktop_.Calls.push_back("MakeApplicationToolWindow");
  app_.ToolWindow = true;
}

void THeadlessApplicationShell::SetPreviewApplicationStyles() {
  desktop_.Calls.push_back("SetPreviewApplicationStyles");
  app_.ToolWindow = true;
  app_.PreviewStyles = true;
}

void THeadlessApplicationShell::Run() {
  desktop_.Calls.push_back("Run");
  if (mainFormEvents_ == nullptr) return;
  if (!formShown_) ShowMainForm();
  if (formClosed_) return;
  formClosed_ = true;
  mainFormEvents_->FormClose();
}

void THeadlessApplicationShell::ShowMainForm() {
  if (mainFormEvents_ == nullptr || formShown_) return;
  formShown_ = true;
  mainFormEvents_->FormShow();
}

void THeadlessApplicationShell::Deliver(const TMessage& message) {
  if (filter_) filter_(message);
}

void THeadlessApplicationShell::ProcessMessages() {
  if (!closeAsked_ || !formShown_ || formClosed_ || mainFormEvents_ == nullptr) return;
  formClosed_ = true;
  mainFormEvents_->FormClose();
}

void THeadlessApplicationShell::ChangeDisplay() {
  if (mainFormEvents_ != nullptr) mainFormEvents_->FormDisplayChanged();
}

std::vector<TRect> THeadlessApplicationShell::OpenCoverRects() const {
  std::vector<TRect> rects;
  for (const TCover& c : covers_)
    if (c.Open) rects.push_back(c.Bounds);
  return rects;
}

}  // namespace lumora::platform
