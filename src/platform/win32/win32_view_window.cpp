#include "platform/win32/win32_view_window.h"
#include "platform/win32/win32_ledger.h"

#include <windowsx.h>


namespace lumora::platform {
namespace {

constexpr wchar_t kClassName[] = L"LumoraTrPic";

ATOM RegisterViewClass(WNDPROC proc) {
  static ATOM atom = 0;
  if (atom != 0) return atom;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = proc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = nullptr;  // the view paints every pixel
  wc.lpszClassName = kClassName;
  atom = ::RegisterClassExW(&wc);
  return atom;
}

TShiftState ShiftFrom(WPARAM keys) {
  TShiftState s;
  s.Shift = (keys & MK_SHIFT) != 0;
  s.Ctrl = (keys & MK_CONTROL) != 0;
  s.Alt = ::GetKeyState(VK_MENU) < 0;
  s.Left = (keys & MK_LBUTTON) != 0;
  s.Right = (keys & MK_RBUTTON) != 0;
  s.Middle = (keys & MK_MBUTTON) != 0;
  return s;
}

}  // namespace

std::unique_ptr<TWin32ViewWindow> TWin32ViewWindow::Create(HWND parent, const RECT& bounds, const wchar_t* title) {
  if (RegisterViewClass(&TWin32ViewWindow::WindowProc) == 0) return nullptr;
  std::unique_ptr<TWin32ViewWindow> window(new TWin32ViewWindow());
  // Media panels are child windows: frames presented here must not draw over them.
  const DWORD style = parent != nullptr ? WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN
                                        : WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN;
  HWND hwnd = ::CreateWindowExW(0, kClassName, title, style, bounds.left, bounds.top, bounds.right - bounds.left,
                                bounds.bottom - bounds.top, parent, nullptr, ::GetModuleHandleW(nullptr), window.get());
  if (hwnd == nullptr) return nullptr;
  return window;
}

TWin32ViewWindow::~TWin32ViewWindow() {
  events_ = nullptr;
  if (hwnd_ != nullptr) {
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    ::DestroyWindow(hwnd_);
  }
  FreeBuffer();
}

LRESULT CALLBACK TWin32ViewWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    auto* self = static_cast<TWin32ViewWindow*>(create->lpCreateParams);
    self->hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<TWin32ViewWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return ::DefWindowProcW(hwnd, message, wParam, lParam);
  try {
    return self->Handle(message, wParam, lParam);
  } catch (...) {
    // Nothing crosses the window procedure.
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

LRESULT TWin32ViewWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // opaque: the frame covers the whole client area
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = ::BeginPaint(hwnd_, &ps);
      paintDc_ = dc;
      presentedInPaint_ = false;
      if (events_ != nullptr) events_->SurfacePaint();
      // A dropped paint still shows the last frame.
      if (!presentedInPaint_ && bits_ != nullptr) Blit(dc, ps.rcPaint);
      paintDc_ = nullptr;
      ::EndPaint(hwnd_, &ps);
      return 0;
    }
    case WM_SIZE:
      if (events_ != nullptr) events_->SurfaceResized();
      return 0;
    case WM_MOUSEMOVE:
      if (events_ != nullptr)
        events_->SurfaceMouse(TMouseAction::Move, TMouseButton::mbLeft, ShiftFrom(wParam), GET_X_LPARAM(lParam),
                              GET_Y_LPARAM(lParam));
      return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
      const bool down = message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN;
      const TMouseButton button = (message == WM_LBUTTONDOWN || message == WM_LBUTTONUP)   ? TMouseButton::mbLeft
                                  : (message == WM_RBUTTONDOWN || message == WM_RBUTTONUP) ? TMouseButton::mbRight
                                                                                            : TMouseButton::mbMiddle;
      if (down) ::SetCapture(hwnd_);
      else ::ReleaseCapture();
      if (events_ != nullptr)
        events_->SurfaceMouse(down ? TMouseAction::Down : TMouseAction::Up, button, ShiftFrom(wParam),
                              GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return 0;
    }
    case WM_NCDESTROY:
      hwnd_ = nullptr;
      break;
    default:
      break;
  }
  return ::DefWindowProcW(hwnd_, message, wParam, lParam);
}

TSize TWin32ViewWindow::ClientSize() const {
  RECT r{};
  if (hwnd_ != nullptr) ::GetClientRect(hwnd_, &r);
  return {static_cast<int>(r.right - r.left), static_cast<int>(r.bottom - r.top)};
}

TSize TWin32ViewWindow::ScreenSize() const {
  return {::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
}

bool TWin32ViewWindow::EnsureBuffer(int width, int height) {
  if (bits_ != nullptr && width == bufferWidth_ && height == bufferHeight_) return true;
  FreeBuffer();
  if (width <= 0 || height <= 0) return false;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;  // top-down, as the frame
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  HDC screen = counted::GetDC(nullptr);
  memoryDc_ = counted::CreateCompatibleDC(screen);
  void* bits = nullptr;
  section_ = counted::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  counted::ReleaseDC(nullptr, screen);
  if (memoryDc_ == nullptr || section_ == nullptr || bits == nullptr) {
    FreeBuffer();
    return false;
  }
  previous_ = ::SelectObject(memoryDc_, section_);
  bits_ = static_cast<std::uint32_t*>(bits);
  bufferWidth_ = width;
  bufferHeight_ = height;
  return true;
}

void TWin32ViewWindow::FreeBuffer() {
  if (memoryDc_ != nullptr && previous_ != nullptr) ::SelectObject(memoryDc_, previous_);
  if (section_ != nullptr) counted::DeleteObject(section_);
  if (memoryDc_ != nullptr) counted::DeleteDC(memoryDc_);
  memoryDc_ = nullptr;
  section_ = nullptr;
  previous_ = nullptr;
  bits_ = nullptr;
  bufferWidth_ = bufferHeight_ = 0;
}

void TWin32ViewWindow::Blit(HDC dc, const RECT& rect) {
  ::BitBlt(dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, memoryDc_, rect.left, rect.top,
           SRCCOPY);
}

void TWin32ViewWindow::Present(const TBitmap32& frame, const TRect& rect, const TCaptionLayer& caption) {
  Show(frame, rect, caption, nullptr);
}

void TWin32ViewWindow::PresentWithInset(const TBitmap32& frame, const TRect& rect, const TCaptionLayer& caption,
                                        const TFrameInset& inset) {
  Show(frame, rect, caption, &inset);
}

void TWin32ViewWindow::Show(const TBitmap32& frame, const TRect& rect, const TCaptionLayer& caption,
                            const TFrameInset* inset) {
  if (hwnd_ == nullptr) return;
  const TSize client = ClientSize();
  if (!EnsureBuffer(client.Width, client.Height)) return;
  const TRect area = IntersectRect(IntersectRect(rect, TRect{0, 0, client.Width, client.Height}), frame.Bounds());
  if (area.Empty()) return;
  ::GdiFlush();
  // The caption layer goes over the frame on its way to the window, never into the frame.
  ComposePresented(bits_, static_cast<std::size_t>(bufferWidth_), frame, area, caption, inset);
  const RECT target{area.Left, area.Top, area.Right, area.Bottom};
  if (paintDc_ != nullptr) {
    Blit(paintDc_, target);
    presentedInPaint_ = true;
  } else {
    HDC dc = counted::GetDC(hwnd_);
    Blit(dc, target);
    counted::ReleaseDC(hwnd_, dc);
  }
}

void TWin32ViewWindow::SetClientSize(int width, int height) {
  if (hwnd_ == nullptr) return;
  RECT r{0, 0, width, height};
  ::AdjustWindowRectEx(&r, static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)));
  ::SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWin32ViewWindow::SetDefaultCursor() { ::SetCursor(::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW))); }

}  // namespace lumora::platform
