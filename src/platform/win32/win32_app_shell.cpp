#include "platform/win32/win32_app_shell.h"
#include "platform/win32/win32_ledger.h"

#include "platform/win32/win32_unicode.h"

#include <windows.h>

#include <cstring>

namespace lumora::platform {
namespace {

HWND AsHwnd(void* window) { return static_cast<HWND>(window); }

// GUID_CONSOLE_DISPLAY_STATE, spelled out: the headers declare it only for newer targets.
constexpr GUID kConsoleDisplayState = {0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};
HWND HwndOf(TWindowHandle handle) { return reinterpret_cast<HWND>(static_cast<INT_PTR>(handle)); }

HICON LoadIconResource(const std::string& name) {
  if (name.empty()) return nullptr;
  const std::wstring wideName = WideFromUtf8(name);
  return static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), wideName.c_str(), IMAGE_ICON, 0, 0,
                                         LR_DEFAULTSIZE | LR_SHARED));
}

void RegisterWindowClass(const std::wstring& name, WNDPROC proc, HICON icon) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = proc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.hIcon = icon;
  wc.hIconSm = icon;
  wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.lpszClassName = name.c_str();
  ::RegisterClassExW(&wc);  // a second registration of the same class fails harmlessly
}

DWORD StyleFor(const TFormProperties& p) {
  DWORD style = WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  switch (p.BorderStyle) {
    case TFormBorderStyle::bsNone:
      style |= WS_POPUP;
      break;
    case TFormBorderStyle::bsSingle:
      style |= WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
      break;
    case TFormBorderStyle::bsSizeable:
      style |= WS_OVERLAPPEDWINDOW;
      break;
  }
  return style;
}

LRESULT CALLBACK ApplicationWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK FormWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (::GetMonitorInfoW(monitor, &info)) {
    const RECT& r = info.rcMonitor;
    reinterpret_cast<TMonitorList*>(data)->push_back(
        TMonitor{TRect{r.left, r.top, r.right, r.bottom}, (info.dwFlags & MONITORINFOF_PRIMARY) != 0});
  }
  return TRUE;
}

// A cover: a black, borderless, top-most window owned by a form. It never takes the
// focus, so keys keep going to the form.
class TWin32CoverWindow final : public ICoverWindow {
 public:
  static std::unique_ptr<TWin32CoverWindow> Create(HWND owner, const TRect& bounds) {
    static const ATOM atom = [] {
      WNDCLASSEXW wc{};
      wc.cbSize = sizeof(wc);
      wc.lpfnWndProc = &TWin32CoverWindow::WindowProc;
      wc.hInstance = ::GetModuleHandleW(nullptr);
      wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
      wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
      wc.lpszClassName = kClassName;
      return ::RegisterClassExW(&wc);
    }();
    if (atom == 0) return nullptr;
    std::unique_ptr<TWin32CoverWindow> cover(new TWin32CoverWindow());
    HWND window = ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kClassName, L"",
                                    WS_POPUP | WS_CLIPSIBLINGS, bounds.Left, bounds.Top, bounds.Width(),
                                    bounds.Height(), owner, nullptr, ::GetModuleHandleW(nullptr), cover.get());
    if (window == nullptr) return nullptr;
    ::SetWindowPos(window, HWND_TOPMOST, bounds.Left, bounds.Top, bounds.Width(), bounds.Height(),
                   SWP_NOACTIVATE | SWP_SHOWWINDOW);
    return cover;
  }

  ~TWin32CoverWindow() override {
    if (window_ == nullptr) return;
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    ::DestroyWindow(window_);
  }
  TWin32CoverWindow(const TWin32CoverWindow&) = delete;
  TWin32CoverWindow& operator=(const TWin32CoverWindow&) = delete;

  TWindowHandle Handle() const override { return static_cast<TWindowHandle>(reinterpret_cast<INT_PTR>(window_)); }

  static constexpr wchar_t kClassName[] = L"LumoraCover";

 private:
  TWin32CoverWindow() = default;

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      auto* self = static_cast<TWin32CoverWindow*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
      self->window_ = window;
      ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    switch (message) {
      case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
      case WM_NCDESTROY: {
        // Also reached when the owner goes first and takes its covers with it.
        auto* self = reinterpret_cast<TWin32CoverWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self != nullptr) self->window_ = nullptr;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        break;
      }
      default:
        break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
  }

  HWND window_ = nullptr;
};

}  // namespace

class TWin32FormWindow final : public IFormWindow {
 public:
  TWin32FormWindow(TWin32ApplicationShell& shell, const TFormProperties& properties, IFormEvents& events)
      : shell_(shell), properties_(properties), events_(&events) {}

  ~TWin32FormWindow() override {
    events_ = nullptr;  // no events from a window that is being torn down with its form
    if (window_ != nullptr) ::DestroyWindow(window_);
    shell_.FormDestroyed(this);
  }

  bool Create(HWND owner) {
    const std::wstring className = WideFromUtf8(properties_.ClassName);
    RegisterWindowClass(className, FormWindowProc, LoadIconResource(properties_.IconResource));
    int left = properties_.Left;
    int top = properties_.Top;
    if (properties_.Position == TFormPosition::poScreenCenter) {
      left = (::GetSystemMetrics(SM_CXSCREEN) - properties_.Width) / 2;
      top = (::GetSystemMetrics(SM_CYSCREEN) - properties_.Height) / 2;
    }
    const DWORD exStyle = properties_.FormStyle == TFormStyle::fsStayOnTop ? WS_EX_TOPMOST : 0;
    const std::wstring caption = WideFromUtf8(properties_.Caption);
    window_ = ::CreateWindowExW(exStyle, className.c_str(), caption.c_str(), StyleFor(properties_), left, top,
                                properties_.Width, properties_.Height, owner, nullptr, ::GetModuleHandleW(nullptr),
                                this);
    return window_ != nullptr;
  }

  void RaiseCreate() {
    if (events_ != nullptr) events_->FormCreate();
  }

  void Show() {
    if (window_ == nullptr) return;
    if (parent_ != nullptr) {
      ShowInParent();
      return;
    }
    int command = SW_SHOWNORMAL;
    if (properties_.WindowState == TWindowState::wsMaximized) command = SW_SHOWMAXIMIZED;
    if (properties_.WindowState == TWindowState::wsMinimized) command = SW_SHOWMINIMIZED;
    ::ShowWindow(window_, command);
    ::UpdateWindow(window_);
    if (events_ != nullptr) events_->FormShow();
  }

  TWindowHandle Handle() const override {
    return static_cast<TWindowHandle>(reinterpret_cast<INT_PTR>(window_));
  }

  void SetFormStyle(TFormStyle style) override {
    properties_.FormStyle = style;
    if (window_ == nullptr) return;
    ::SetWindowPos(window_, style == TFormStyle::fsStayOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }

  bool EmbedIn(TWindowHandle parentHandle) override {
    if (window_ == nullptr) return false;
    HWND parent = HwndOf(parentHandle);
    // The styles come from the parent, not from the form.
    const LONG parentStyle = ::GetWindowLongW(parent, GWL_STYLE);
    const LONG parentExStyle = ::GetWindowLongW(parent, GWL_EXSTYLE);
    // Hidden until it fills the parent's client area (ShowInParent): the parent's own
    // WS_VISIBLE would otherwise show the form at its design size for a moment.
    ::SetWindowLongW(window_, GWL_STYLE, (parentStyle & ~WS_VISIBLE) | WS_CHILD | WS_DISABLED);
    ::SetWindowLongW(window_, GWL_EXSTYLE, parentExStyle);
    // The parent may have gone since it was looked up, or refuse a child of another
    // process: then the form is a child of nothing, and the caller ends the preview.
    if (::SetParent(window_, parent) == nullptr || ::GetAncestor(window_, GA_PARENT) != parent) return false;
    parent_ = parent;
    RECT client{};
    ::GetClientRect(parent_, &client);
    ::SetWindowPos(window_, nullptr, 0, 0, client.right, client.bottom,
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    return true;
  }

  void Close() override {
    if (window_ != nullptr) ::PostMessageW(window_, WM_CLOSE, 0, 0);
  }

  void SetBounds(const TRect& bounds) override {
    if (window_ == nullptr) return;
    ::SetWindowPos(window_, nullptr, bounds.Left, bounds.Top, bounds.Width(), bounds.Height(),
                   SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_NOACTIVATE);
  }

  std::unique_ptr<ICoverWindow> OpenCover(const TRect& bounds) override {
    if (window_ == nullptr) return nullptr;
    return TWin32CoverWindow::Create(window_, bounds);
  }

  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_CREATE:
        RegisterDisplayPower();
        return 0;
      case WM_ACTIVATEAPP:
        if (wParam == FALSE && events_ != nullptr) events_->FormDeactivated();
        return 0;
      case WM_POWERBROADCAST:
        if (wParam == PBT_POWERSETTINGCHANGE && lParam != 0) {
          const auto* setting = reinterpret_cast<const POWERBROADCAST_SETTING*>(lParam);
          if (::IsEqualGUID(setting->PowerSetting, kConsoleDisplayState) &&
              setting->DataLength >= sizeof(DWORD) && events_ != nullptr) {
            DWORD state = 0;
            std::memcpy(&state, setting->Data, sizeof state);
            events_->FormDisplayPower(state != 0);  // 0 off, 1 on, 2 dimmed
          }
          return TRUE;
        }
        return ::DefWindowProcW(window_, message, wParam, lParam);
      case WM_GETMINMAXINFO:
        FillMaximizedPlacement(*reinterpret_cast<MINMAXINFO*>(lParam));
        return 0;
      case WM_ERASEBKGND:
        return 1;  // WM_PAINT covers the whole client area
      case WM_SIZE:
        FillClientWithChildren();
        return 0;
      case WM_DISPLAYCHANGE:
        if (events_ != nullptr) events_->FormDisplayChanged();
        return ::DefWindowProcW(window_, message, wParam, lParam);
      case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(window_, &ps);
        const COLORREF colour = properties_.Color & 0x00FFFFFFu;
        HBRUSH brush = counted::CreateSolidBrush(colour);
        ::FillRect(dc, &ps.rcPaint, brush);
        counted::DeleteObject(brush);
        ::EndPaint(window_, &ps);
        return 0;
      }
      case WM_KEYDOWN:
      case WM_SYSKEYDOWN:
        if (properties_.IgnoreKeyDown) return 0;
        return ::DefWindowProcW(window_, message, wParam, lParam);
      case WM_CLOSE:
        if (events_ != nullptr) events_->FormClose();
        ::DestroyWindow(window_);
        return 0;
      case WM_DESTROY:
        // Also reached when the preview window that holds the form goes away.
        UnregisterDisplayPower();
        if (shell_.mainForm_ == this) ::PostQuitMessage(0);
        return 0;
      case WM_NCDESTROY: {
        HWND window = window_;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        window_ = nullptr;
        return ::DefWindowProcW(window, message, wParam, lParam);
      }
      default:
        if (message == LedgerReportMessage()) {
          WriteLedgerReport();
          return 0;
        }
        return ::DefWindowProcW(window_, message, wParam, lParam);
    }
  }

  void Attach(HWND window) { window_ = window; }

  // The parent's destruction takes the form with it; this catches a parent that went
  // without that reaching us (a host that was killed takes our child window along
  // without a message, and with it any timer of the form's own).
  void CheckParent() {
    if (parent_ == nullptr || ::IsWindow(parent_)) return;
    parent_ = nullptr;
    if (window_ != nullptr && ::IsWindow(window_))
      ::PostMessageW(window_, WM_CLOSE, 0, 0);
    else if (shell_.mainForm_ == this)
      ::PostQuitMessage(0);
  }

  static constexpr UINT_PTR kParentPollTimer = 0x4C50;  // "LP"
  static constexpr UINT kParentPollMs = 500;

 private:

  // The preview: shown without being activated and without taking the focus (the host
  // dialog keeps both), sized to the parent's client area itself rather than through a
  // maximize, which would activate it.
  void ShowInParent() {
    RECT client{};
    ::GetClientRect(parent_, &client);
    ::SetWindowPos(window_, nullptr, 0, 0, client.right, client.bottom,
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    ::UpdateWindow(window_);
    if (shell_.appWindow_ != nullptr) ::SetTimer(AsHwnd(shell_.appWindow_), kParentPollTimer, kParentPollMs, nullptr);
    if (events_ != nullptr) events_->FormShow();
  }

  // The display's power state, for the show to pause while the screen is dark. Looked
  // up at run time: a system without it simply never pauses.
  void RegisterDisplayPower() {
    using TRegister = HPOWERNOTIFY(WINAPI*)(HANDLE, LPCGUID, DWORD);
    const auto registerNotification = reinterpret_cast<TRegister>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "RegisterPowerSettingNotification")));
    if (registerNotification != nullptr)
      powerNotify_ = registerNotification(window_, &kConsoleDisplayState, DEVICE_NOTIFY_WINDOW_HANDLE);
  }
  void UnregisterDisplayPower() {
    if (powerNotify_ == nullptr) return;
    using TUnregister = BOOL(WINAPI*)(HPOWERNOTIFY);
    const auto unregisterNotification = reinterpret_cast<TUnregister>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "UnregisterPowerSettingNotification")));
    if (unregisterNotification != nullptr) unregisterNotification(powerNotify_);
    powerNotify_ = nullptr;
  }

  // Maximized, a borderless form covers its whole monitor, and a child form the
  // client area of its parent.
  void FillMaximizedPlacement(MINMAXINFO& info) const {
    RECT area{};
    if ((::GetWindowLongW(window_, GWL_STYLE) & WS_CHILD) != 0) {
      HWND parent = ::GetParent(window_);
      if (parent == nullptr || !::GetClientRect(parent, &area)) return;
      info.ptMaxPosition = {0, 0};
    } else {
      MONITORINFO monitor{};
      monitor.cbSize = sizeof(monitor);
      if (!::GetMonitorInfoW(::MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor)) return;
      area = monitor.rcMonitor;
      info.ptMaxPosition = {0, 0};
    }
    info.ptMaxSize = {area.right - area.left, area.bottom - area.top};
    if (info.ptMaxTrackSize.x < info.ptMaxSize.x) info.ptMaxTrackSize.x = info.ptMaxSize.x;
    if (info.ptMaxTrackSize.y < info.ptMaxSize.y) info.ptMaxTrackSize.y = info.ptMaxSize.y;
  }

  // The visible child windows of a form fill its client area (the view is the one such
  // child, and it must always have the form's real client size). Done while the size
  // message is handled, so no paint sees the two disagree.
  void FillClientWithChildren() const {
    RECT client{};
    if (!::GetClientRect(window_, &client)) return;
    for (HWND child = ::GetWindow(window_, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
      if ((::GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) == 0) continue;
      ::SetWindowPos(child, nullptr, 0, 0, client.right, client.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }

  TWin32ApplicationShell& shell_;
  TFormProperties properties_;
  IFormEvents* events_;
  HWND window_ = nullptr;
  HWND parent_ = nullptr;  // the window of another process that holds the preview
  HPOWERNOTIFY powerNotify_ = nullptr;
};

namespace {

LRESULT CALLBACK ApplicationWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  if (message == WM_TIMER && wParam == TWin32FormWindow::kParentPollTimer) {
    auto* shell = reinterpret_cast<TWin32ApplicationShell*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (shell != nullptr) shell->CheckPreviewParent();
    return 0;
  }
  if (message == WM_CLOSE) {
    // Closing the application closes its main form, which ends the loop.
    auto* shell = reinterpret_cast<TWin32ApplicationShell*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (shell != nullptr) shell->CloseMainForm();
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK FormWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    auto* form = static_cast<TWin32FormWindow*>(create->lpCreateParams);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    form->Attach(window);
  }
  auto* form = reinterpret_cast<TWin32FormWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (form == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
  try {
    return form->HandleMessage(message, wParam, lParam);
  } catch (...) {
    // Nothing the form does may unwind through the system's dispatcher.
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

TWin32ApplicationShell::TWin32ApplicationShell() = default;

TWin32ApplicationShell::~TWin32ApplicationShell() {
  if (appWindow_ != nullptr) ::DestroyWindow(AsHwnd(appWindow_));
}

void TWin32ApplicationShell::SetTitle(std::string_view title) {
  title_ = WideFromUtf8(title);
  if (appWindow_ != nullptr) ::SetWindowTextW(AsHwnd(appWindow_), title_.c_str());
}

void TWin32ApplicationShell::Initialize() {
  if (appWindow_ != nullptr) return;
  const std::wstring className = WideFromUtf8(kApplicationClassName);
  RegisterWindowClass(className, ApplicationWindowProc, LoadIconResource("MAINICON"));
  // A zero-sized window at the screen's centre that is never shown: it holds the
  // title that other instances look for, and owns the forms.
  const int x = ::GetSystemMetrics(SM_CXSCREEN) / 2;
  const int y = ::GetSystemMetrics(SM_CYSCREEN) / 2;
  appWindow_ = ::CreateWindowExW(0, className.c_str(), title_.c_str(),
                                 WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, x, y, 0, 0,
                                 nullptr, nullptr, ::GetModuleHandleW(nullptr), this);
}

std::unique_ptr<IFormWindow> TWin32ApplicationShell::CreateMainForm(const TFormProperties& properties,
                                                                    IFormEvents& events) {
  auto form = std::make_unique<TWin32FormWindow>(*this, properties, events);
  mainForm_ = form.get();
  form->Create(AsHwnd(appWindow_));
  form->RaiseCreate();
  return form;
}

void TWin32ApplicationShell::HideApplicationWindow() {
  if (appWindow_ != nullptr) ::ShowWindow(AsHwnd(appWindow_), SW_HIDE);
}

void TWin32ApplicationShell::MakeApplicationToolWindow() {
  if (appWindow_ == nullptr) return;
  HWND window = AsHwnd(appWindow_);
  ::SetWindowLongW(window, GWL_EXSTYLE, ::GetWindowLongW(window, GWL_EXSTYLE) | WS_EX_TOOLWINDOW);
}

void TWin32ApplicationShell::SetPreviewApplicationStyles() {
  if (appWindow_ != nullptr) ::SetWindowLongW(AsHwnd(appWindow_), GWL_EXSTYLE, WS_EX_TOOLWINDOW | WS_EX_TOPMOST);
}

void TWin32ApplicationShell::Run() {
  if (mainForm_ == nullptr) return;
  mainForm_->Show();
  if (quitSeen_) return;  // the form closed while it was being shown
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    Filter(&message);
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

void TWin32ApplicationShell::Filter(const void* raw) {
  if (!filter_) return;
  const MSG& m = *static_cast<const MSG*>(raw);
  TMessage message;
  message.Window = static_cast<TWindowHandle>(reinterpret_cast<INT_PTR>(m.hwnd));
  message.Message = m.message;
  message.WParam = static_cast<std::uint64_t>(m.wParam);
  message.LParam = static_cast<std::int64_t>(m.lParam);
  message.X = m.pt.x;
  message.Y = m.pt.y;
  try {
    filter_(message);
  } catch (...) {
    // The filter's failures stay inside it.
  }
}

void TWin32ApplicationShell::ProcessMessages() {
  MSG message;
  while (!quitSeen_ && ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Leave the quit for the main loop, which ends on it.
      quitSeen_ = true;
      ::PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    Filter(&message);
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

TMonitorList TWin32ApplicationShell::Monitors() const {
  TMonitorList monitors;
  ::EnumDisplayMonitors(nullptr, nullptr, &AddMonitor, reinterpret_cast<LPARAM>(&monitors));
  if (monitors.empty())
    monitors.push_back(TMonitor{TRect{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)}, true});
  return monitors;
}

void TWin32ApplicationShell::FormDestroyed(TWin32FormWindow* form) {
  if (mainForm_ == form) mainForm_ = nullptr;
}

void TWin32ApplicationShell::CheckPreviewParent() {
  if (mainForm_ != nullptr) mainForm_->CheckParent();
}

void TWin32ApplicationShell::CloseMainForm() {
  if (mainForm_ != nullptr) mainForm_->Close();
}

}  // namespace lumora::platform
