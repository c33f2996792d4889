// TInstallFrm: the installer dialog as a plain window with standard controls. All it
// decides is in the core (InstallButtonClick, RunInstallWorker); this is the glue.
#include "dialogs/install_frm_win32.h"

#include "dialogs/install_worker.h"
#include "dialogs/removal.h"
#include "dialogs/settings_win32.h"
#include "platform/win32/win32_message_box.h"
#include "platform/win32/win32_processes.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_unicode.h"

#include <windows.h>
#include <commctrl.h>

#include <climits>
#include <memory>
#include <vector>

namespace lumora {
namespace {

constexpr wchar_t kClassName[] = L"TInstallFrm";
constexpr int kImage1 = 100, kLabel1 = 101, kProgress = 102, kSetSSDefault = 103, kInstall = IDOK, kExit = IDCANCEL;

class TInstallFrm final : public IInstallDialog {
 public:
  TInstallFrm(platform::IFileSystem& files) : files_(files) {}
  ~TInstallFrm() override {
    if (font_ != nullptr) ::DeleteObject(font_);
    if (icon_ != nullptr) ::DestroyIcon(static_cast<HICON>(icon_));
  }
  TInstallFrm(const TInstallFrm&) = delete;
  TInstallFrm& operator=(const TInstallFrm&) = delete;

  void Run() {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    WNDCLASSEXW cls{};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = &TInstallFrm::WindowProc;
    cls.hInstance = instance;
    cls.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    cls.hIcon = ::LoadIconW(instance, L"MAINICON");
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    cls.lpszClassName = kClassName;
    ::RegisterClassExW(&cls);

    // Fixed dialog border, centred on the screen; laid out at the resolution of the
    // monitor it opens on, and again whenever it moves to another.
    hwnd_ = ::CreateWindowExW(kExStyle, kClassName, L"Install Screen Saver", kStyle, 0, 0, 0, 0, nullptr, nullptr,
                              instance, this);
    if (hwnd_ == nullptr) return;
    messages_ = std::make_unique<platform::TWin32MessageBox>(
        platform::WideFromUtf8(BaseNameOf(files_.ExecutablePath())), hwnd_);
    CreateControls(instance);
    const UINT dpi = WindowDpi(hwnd_);
    const SIZE frame = FrameSize(dpi);
    ::SetWindowPos(hwnd_, nullptr, (::GetSystemMetrics(SM_CXSCREEN) - frame.cx) / 2,
                   (::GetSystemMetrics(SM_CYSCREEN) - frame.cy) / 2, frame.cx, frame.cy,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    Layout(dpi);
    ::ShowWindow(hwnd_, SW_SHOWNORMAL);
    ::SetFocus(install_);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
      if (hwnd_ != nullptr && ::IsDialogMessageW(hwnd_, &message)) continue;
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }

  void SetProgressRange(std::uint64_t maximum) override {
    // The bar counts in ints; files beyond that move it in coarser steps.
    scale_ = 1;
    while (maximum / scale_ > static_cast<std::uint64_t>(INT_MAX)) scale_ *= 2;
    ::SendMessageW(progress_, PBM_SETRANGE32, 0, static_cast<LPARAM>(maximum / scale_));
    ::SendMessageW(progress_, PBM_SETPOS, 0, 0);
  }
  void SetProgressPosition(std::uint64_t position) override {
    ::SendMessageW(progress_, PBM_SETPOS, static_cast<WPARAM>(position / scale_), 0);
    ::UpdateWindow(progress_);  // the copy runs on this thread; paint now
  }
  bool SetAsDefaultChecked() const override {
    return ::SendMessageW(setSSDefault_, BM_GETCHECK, 0, 0) == BST_CHECKED;
  }
  void SetButtonsEnabled(bool enabled) override {
    busy_ = !enabled;
    ::EnableWindow(install_, enabled);
    ::EnableWindow(exit_, enabled);
    if (enabled) ::SetFocus(install_);
  }
  void Close() override {
    busy_ = false;
    ::DestroyWindow(hwnd_);
  }

 private:
  static constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  static constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME;
  static constexpr SIZE kClientSize = {332, 142};  // at 96 dots per inch

  // A control and its place at 96 dots per inch.
  struct TPlaced {
    HWND Window;
    RECT At;  // left, top, width, height
  };

  HWND Control(HINSTANCE instance, const wchar_t* cls, const wchar_t* text, DWORD style, int id, int x, int y, int w,
               int h) {
    HWND control = ::CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, hwnd_,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    placed_.push_back({control, {x, y, w, h}});
    return control;
  }

  void CreateControls(HINSTANCE instance) {
    image_ = Control(instance, L"STATIC", nullptr, SS_ICON | SS_REALSIZECONTROL, kImage1, 16, 14, 32, 32);
    Control(instance, L"STATIC", L"Now, the screen saver will be install to your computer, continue?", SS_LEFT,
            kLabel1, 60, 16, 256, 30);
    progress_ = Control(instance, PROGRESS_CLASSW, nullptr, 0, kProgress, 16, 58, 300, 16);
    setSSDefault_ = Control(instance, L"BUTTON", L"Set as windows default screen saver.", BS_AUTOCHECKBOX | WS_TABSTOP,
                            kSetSSDefault, 16, 82, 300, 17);
    ::SendMessageW(setSSDefault_, BM_SETCHECK, BST_CHECKED, 0);
    install_ = Control(instance, L"BUTTON", L"&Install", BS_DEFPUSHBUTTON | WS_TABSTOP, kInstall, 150, 106, 78, 25);
    exit_ = Control(instance, L"BUTTON", L"&Exit", BS_PUSHBUTTON | WS_TABSTOP, kExit, 238, 106, 78, 25);
  }

  // The window's outer size for the designed client area at dpi.
  static SIZE FrameSize(UINT dpi) {
    RECT bounds{0, 0, ::MulDiv(kClientSize.cx, static_cast<int>(dpi), 96),
                ::MulDiv(kClientSize.cy, static_cast<int>(dpi), 96)};
    using TAdjustForDpi = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = reinterpret_cast<TAdjustForDpi>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    if (adjustForDpi == nullptr || !adjustForDpi(&bounds, kStyle, FALSE, kExStyle, dpi))
      ::AdjustWindowRectEx(&bounds, kStyle, FALSE, kExStyle);
    return {bounds.right - bounds.left, bounds.bottom - bounds.top};
  }

  // Every control, the font and the icon at dpi: the text keeps its room at 150 % and up.
  void Layout(UINT dpi) {
    const auto scaled = [dpi](LONG v) { return ::MulDiv(v, static_cast<int>(dpi), 96); };
    HFONT font = CreatePointFont(L"MS Sans Serif", 8, dpi);
    for (const TPlaced& p : placed_) {
      ::SetWindowPos(p.Window, nullptr, scaled(p.At.left), scaled(p.At.top), scaled(p.At.right), scaled(p.At.bottom),
                     SWP_NOZORDER | SWP_NOACTIVATE);
      ::SendMessageW(p.Window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    if (font_ != nullptr) ::DeleteObject(font_);
    font_ = font;
    const int side = scaled(32);
    HANDLE icon = ::LoadImageW(::GetModuleHandleW(nullptr), L"MAINICON", IMAGE_ICON, side, side, 0);
    if (icon != nullptr) {
      ::SendMessageW(image_, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
      if (icon_ != nullptr) ::DestroyIcon(static_cast<HICON>(icon_));
      icon_ = icon;
    }
  }

  void btnInstallClick() {
    platform::TWin32MachineRegistry registry;
    platform::TWin32Processes processes(hwnd_);
    InstallButtonClick({files_, registry, processes, *messages_}, *this);
  }

  void btnExitClick() { Close(); }

  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && !busy_) {
          if (LOWORD(wParam) == kInstall) btnInstallClick();
          if (LOWORD(wParam) == kExit) btnExitClick();
        }
        return 0;
      case DM_GETDEFID:
        return MAKELRESULT(kInstall, DC_HASDEFID);
      case WM_DPICHANGED: {
        // Moved to a monitor of another resolution: the system's suggested place, our layout.
        const RECT& r = *reinterpret_cast<const RECT*>(lParam);
        ::SetWindowPos(hwnd_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        Layout(HIWORD(wParam));
        return 0;
      }
      case WM_CLOSE:
        if (!busy_) Close();  // not while the worker runs
        return 0;
      case WM_DESTROY:
        hwnd_ = nullptr;
        ::PostQuitMessage(0);
        return 0;
      default:
        return ::DefWindowProcW(hwnd_, message, wParam, lParam);
    }
  }

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TInstallFrm*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr || self->hwnd_ != hwnd) return ::DefWindowProcW(hwnd, message, wParam, lParam);
    try {
      return self->Handle(message, wParam, lParam);
    } catch (...) {
      return 0;  // nothing crosses the window procedure
    }
  }

  platform::IFileSystem& files_;
  std::unique_ptr<platform::TWin32MessageBox> messages_;
  HWND hwnd_ = nullptr;
  HWND progress_ = nullptr, setSSDefault_ = nullptr, install_ = nullptr, exit_ = nullptr;
  HFONT font_ = nullptr;
  HANDLE icon_ = nullptr;  // the icon of Image1 at the current resolution
  HWND image_ = nullptr;
  std::vector<TPlaced> placed_;
  std::uint64_t scale_ = 1;
  bool busy_ = false;
};

}  // namespace

void RunInstallFrm(platform::IFileSystem& files) {
  TInstallFrm form(files);
  form.Run();
}

int RunInstallWorkerWin32(platform::IFileSystem& files, std::string_view runMode, std::span<const std::string> args) {
  platform::TWin32MachineRegistry registry;
  platform::TWin32Processes processes;
  platform::TWin32MessageBox messages(platform::WideFromUtf8(BaseNameOf(files.ExecutablePath())));
  const bool elevated = IsElevatedStep(args);
  TInstallFailure failure = TInstallFailure::None;
  const bool done = RunInstallWorker(runMode, {files, registry, processes, messages}, nullptr, elevated, &failure);
  // "I" tells of a failure as the dialog does ("O" stays silent, and so does a declined
  // overwrite); before, it ended with no word at all.
  if (!done && !elevated && runMode == "I") {
    const std::string_view text = InstallFailureMessage(failure, false);
    if (!text.empty()) messages.ShowMessage(text);
  }
  return elevated && !done ? 1 : 0;
}

int RunRemovalWin32(platform::IFileSystem& files, std::span<const std::string> args) {
  platform::TWin32MachineRegistry registry;
  platform::TWin32Processes processes;
  platform::TWin32MessageBox messages(platform::WideFromUtf8(BaseNameOf(files.ExecutablePath())));
  const bool elevated = IsElevatedStep(args);
  const bool done = RunRemoval({files, registry, processes, messages}, elevated);
  return elevated && !done ? 1 : 0;
}

}  // namespace lumora
