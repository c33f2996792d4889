// The readme window: a menu with File / Exit over a read-only text box that fills
// the window and wraps its lines at the window's width.
#include "dialogs/settings_win32.h"

#include "platform/text.h"
#include "platform/win32/win32_files.h"

namespace lumora {
namespace {

constexpr wchar_t kClassName[] = L"TReadmeFrm";
constexpr UINT kExitCommand = 1;

}  // namespace

UINT WindowDpi(HWND window) {
  // Windows 10 knows each monitor's resolution; older systems one for the screen.
  using TGetDpiForWindow = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = reinterpret_cast<TGetDpiForWindow>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (getDpiForWindow != nullptr && window != nullptr) {
    const UINT dpi = getDpiForWindow(window);
    if (dpi != 0) return dpi;
  }
  HDC screen = ::GetDC(nullptr);
  const int dpi = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen != nullptr) ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

HFONT CreatePointFont(const wchar_t* face, int points, UINT dpi) {
  return ::CreateFontW(-::MulDiv(points, static_cast<int>(dpi), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, face);
}

TWin32ReadmeWindow::TWin32ReadmeWindow(TReadmeFrm& form) : form_(form) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.hIcon = static_cast<HICON>(::LoadImageW(wc.hInstance, L"MAINICON", IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
  wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  wc.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = kClassName;
  ::RegisterClassExW(&wc);  // a second registration fails harmlessly

  HMENU menu = ::CreateMenu();
  HMENU file = ::CreatePopupMenu();
  const std::wstring exitText = platform::WideFromAnsi(TReadmeFrm::kExitItem);
  const std::wstring fileText = platform::WideFromAnsi(TReadmeFrm::kFileMenu);
  ::AppendMenuW(file, MF_STRING, kExitCommand, exitText.c_str());
  ::AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(file), fileText.c_str());

  const std::wstring caption = platform::WideFromAnsi(TReadmeFrm::kCaption);
  const UINT dpi = WindowDpi(nullptr);
  window_ = ::CreateWindowExW(0, kClassName, caption.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                              ::MulDiv(TReadmeFrm::kWidth, static_cast<int>(dpi), 96),
                              ::MulDiv(TReadmeFrm::kHeight, static_cast<int>(dpi), 96), nullptr, menu,
                              ::GetModuleHandleW(nullptr), this);
  if (window_ == nullptr) {
    ::DestroyMenu(menu);
    return;
  }
  // Wrapping needs the box without horizontal scrolling: a horizontal bar would make the
  // control keep each line whole.
  memo_ = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                            WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_READONLY |
                                ES_AUTOVSCROLL,
                            0, 0, 0, 0, window_, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  ::SendMessageW(memo_, EM_SETLIMITTEXT, 0, 0);
  const std::wstring text =
      platform::WideFromCodePage(form_.ReadmeText(), platform::CodePageOfCharset(form_.TextCharset()));
  ::SetWindowTextW(memo_, text.c_str());
  ApplyDpi(WindowDpi(window_));
  form_.CloseWindow = [this] {
    if (window_ != nullptr) ::DestroyWindow(window_);
  };
  ::ShowWindow(window_, SW_SHOWNORMAL);
  ::UpdateWindow(window_);
  ::SetFocus(memo_);
}

TWin32ReadmeWindow::~TWin32ReadmeWindow() {
  form_.CloseWindow = nullptr;
  if (window_ != nullptr) ::DestroyWindow(window_);
  if (font_ != nullptr) ::DeleteObject(font_);
}

void TWin32ReadmeWindow::ApplyDpi(UINT dpi) {
  HFONT font = CreatePointFont(L"MS Sans Serif", TReadmeFrm::kMemoFontPoints, dpi);
  ::SendMessageW(memo_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  if (font_ != nullptr) ::DeleteObject(font_);
  font_ = font;
}

LRESULT CALLBACK TWin32ReadmeWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<TWin32ReadmeWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->window_ = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<TWin32ReadmeWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
  try {
    return self->Handle(message, wParam, lParam);
  } catch (...) {
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

LRESULT TWin32ReadmeWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      if (memo_ != nullptr) ::MoveWindow(memo_, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
      return 0;
    case WM_SETFOCUS:
      if (memo_ != nullptr) ::SetFocus(memo_);
      return 0;
    case WM_CTLCOLORSTATIC:  // a read-only box asks here: the button face, as designed
      ::SetBkColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_BTNFACE));
      ::SetTextColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_WINDOWTEXT));
      return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    case WM_COMMAND:
      if (LOWORD(wParam) == kExitCommand && lParam == 0) {
        form_.mmFileExitClick();
        return 0;
      }
      break;
    case WM_DPICHANGED: {
      ApplyDpi(HIWORD(wParam));
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      ::SetWindowPos(window_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_NCDESTROY: {
      HWND window = window_;
      window_ = nullptr;
      memo_ = nullptr;
      ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      return ::DefWindowProcW(window, message, wParam, lParam);
    }
    default:
      break;
  }
  return ::DefWindowProcW(window_, message, wParam, lParam);
}

}  // namespace lumora
