#include "platform/win32/win32_media_panel.h"
#include "platform/win32/win32_ledger.h"

#include "platform/win32/win32_region.h"

#include <windowsx.h>

#include <cstring>
#include <optional>
#include <vector>

namespace lumora::platform {
namespace {

constexpr wchar_t kClassName[] = L"LumoraMediaPanel";

class TWin32MediaPanel final : public IMediaPanel {
 public:
  TWin32MediaPanel(HWND parent) {
    static const ATOM atom = [] {
      WNDCLASSEXW wc{};
      wc.cbSize = sizeof(wc);
      wc.lpfnWndProc = WindowProc;
      wc.hInstance = ::GetModuleHandleW(nullptr);
      wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
      wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
      wc.lpszClassName = kClassName;
      return ::RegisterClassExW(&wc);
    }();
    (void)atom;
    hwnd_ = ::CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, 1, 1, parent,
                              nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (hwnd_ == nullptr) return;
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    // The newest panel lies above its siblings (a player's window over the frame image).
    ::SetWindowPos(hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  ~TWin32MediaPanel() override {
    if (hwnd_ != nullptr) {
      ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
      ::DestroyWindow(hwnd_);
    }
  }
  TWin32MediaPanel(const TWin32MediaPanel&) = delete;
  TWin32MediaPanel& operator=(const TWin32MediaPanel&) = delete;

  HWND Window() const { return hwnd_; }
  TWindowHandle Handle() const override { return static_cast<TWindowHandle>(reinterpret_cast<INT_PTR>(hwnd_)); }
  void SetBounds(const TRect& bounds) override {
    bounds_ = bounds;
    if (hwnd_ != nullptr)
      ::SetWindowPos(hwnd_, nullptr, bounds.Left, bounds.Top, bounds.Width(), bounds.Height(),
                     SWP_NOZORDER | SWP_NOACTIVATE);
  }
  TRect Bounds() const override { return bounds_; }
  void SetVisible(bool visible) override {
    if (hwnd_ != nullptr) ::ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
  }
  bool Visible() const override { return hwnd_ != nullptr && (::GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0; }
  void SetRegion(const TRegion* region) override {
    if (hwnd_ == nullptr) return;
    // The window owns the region it is given.
    HRGN native = region != nullptr ? MakeNativeRegion(region->Rects()) : nullptr;
    if (region != nullptr && native == nullptr) return;
    if (counted::SetWindowRgn(hwnd_, native, TRUE) == 0 && native != nullptr) counted::DeleteObject(native);
  }
  void SetImage(const TBitmap32* image) override {
    if (image == nullptr)
      image_.reset();
    else
      image_ = *image;
    if (hwnd_ != nullptr) ::InvalidateRect(hwnd_, nullptr, TRUE);
  }
  void SendToBack() override {
    if (hwnd_ != nullptr) ::SetWindowPos(hwnd_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  void SetOnMouse(std::function<void(TMouseAction, TMouseButton, TShiftState, int, int)> onMouse) override {
    onMouse_ = std::move(onMouse);
  }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* panel = reinterpret_cast<TWin32MediaPanel*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (panel == nullptr) return ::DefWindowProcW(hwnd, message, wParam, lParam);
    try {
      switch (message) {
        case WM_PAINT:
          panel->Paint();
          return 0;
        case WM_MOUSEMOVE:
          panel->Mouse(TMouseAction::Move, TMouseButton::mbLeft, wParam, lParam);
          return 0;
        case WM_LBUTTONDOWN: panel->Mouse(TMouseAction::Down, TMouseButton::mbLeft, wParam, lParam); return 0;
        case WM_LBUTTONUP: panel->Mouse(TMouseAction::Up, TMouseButton::mbLeft, wParam, lParam); return 0;
        case WM_RBUTTONDOWN: panel->Mouse(TMouseAction::Down, TMouseButton::mbRight, wParam, lParam); return 0;
        case WM_RBUTTONUP: panel->Mouse(TMouseAction::Up, TMouseButton::mbRight, wParam, lParam); return 0;
        case WM_MBUTTONDOWN: panel->Mouse(TMouseAction::Down, TMouseButton::mbMiddle, wParam, lParam); return 0;
        case WM_MBUTTONUP: panel->Mouse(TMouseAction::Up, TMouseButton::mbMiddle, wParam, lParam); return 0;
        case WM_NCDESTROY:
          // Destroyed with the view's window at the end of the show: nothing is left to free.
          panel->hwnd_ = nullptr;
          break;
        default:
          break;
      }
    } catch (...) {
      // Nothing crosses the window procedure.
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
  }

  void Mouse(TMouseAction action, TMouseButton button, WPARAM keys, LPARAM lParam) {
    if (!onMouse_) return;
    TShiftState s;
    s.Shift = (keys & MK_SHIFT) != 0;
    s.Ctrl = (keys & MK_CONTROL) != 0;
    s.Alt = ::GetKeyState(VK_MENU) < 0;
    s.Left = (keys & MK_LBUTTON) != 0;
    s.Right = (keys & MK_RBUTTON) != 0;
    s.Middle = (keys & MK_MBUTTON) != 0;
    onMouse_(action, button, s, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
  }

  void Paint() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(hwnd_, &ps);
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    if (image_ && !image_->Empty()) {
      BITMAPINFO info{};
      info.bmiHeader.biSize = sizeof(info.bmiHeader);
      info.bmiHeader.biWidth = image_->Width();
      info.bmiHeader.biHeight = -image_->Height();  // top-down rows
      info.bmiHeader.biPlanes = 1;
      info.bmiHeader.biBitCount = 32;
      info.bmiHeader.biCompression = BI_RGB;
      std::vector<std::uint32_t> bits(std::size_t(image_->Width()) * std::size_t(image_->Height()));
      for (int y = 0; y < image_->Height(); ++y)
        std::memcpy(bits.data() + std::size_t(y) * std::size_t(image_->Width()), image_->Row(y),
                    std::size_t(image_->Width()) * sizeof(std::uint32_t));
      ::SetDIBitsToDevice(dc, 0, 0, DWORD(image_->Width()), DWORD(image_->Height()), 0, 0, 0, UINT(image_->Height()),
                          bits.data(), &info, DIB_RGB_COLORS);
    }
    ::EndPaint(hwnd_, &ps);
  }

  HWND hwnd_ = nullptr;
  TRect bounds_{0, 0, 1, 1};
  std::optional<TBitmap32> image_;
  std::function<void(TMouseAction, TMouseButton, TShiftState, int, int)> onMouse_;
};

}  // namespace

std::unique_ptr<IMediaPanel> TWin32MediaPanels::CreatePanel(IMediaPanel* parent) {
  HWND parentWindow = parent != nullptr ? static_cast<TWin32MediaPanel*>(parent)->Window() : view_;
  return std::make_unique<TWin32MediaPanel>(parentWindow);
}

void TWin32MediaPanels::SetWaitCursor(bool waiting) {
  ::SetCursor(::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(waiting ? IDC_WAIT : IDC_ARROW)));
}

}  // namespace lumora::platform
