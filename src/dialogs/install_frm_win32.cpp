// TInstallFrm: the installer dialog as a plain window with standard controls. All it
// decides is in the core (InstallButtonClick, RunInstallWorker); this is the glue.
#include "dialogs/install_frm_win32.h"

#include "dialogs/install_worker.h"
#include "dialogs/removal.h"
#include "platform/win32/win32_message_box.h"
#include "platform/win32/win32_processes.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_unicode.h"

#include <windows.h>
#include <commctrl.h>

#include <climits>
#include <memory>

namespace lumora {
namespace {

constexpr wchar_t kClassName[] = L"TInstallFrm";
constexpr int kImage1 = 100, kLabel1 = 101, kProgress = 102, kSetSSDefault = 103, kInstall = IDOK, kExit = IDCANCEL;

class TInstallFrm final : public IInstallDialog {
 public:
  TInstallFrm(platform::IFileSystem& files) : files_(files) {}
  ~TInstallFrm() override {
    if (font_ != nullptr) ::DeleteObject(font_);
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

    // Fixed dialog border, centred on the screen.
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    const DWORD exStyle = WS_EX_DLGMODALFRAME;
    RECT bounds{0, 0, 332, 142};
    ::AdjustWindowRectEx(&bounds, style, FALSE, exStyle);
    const int width = bounds.right - bounds.left, height = bounds.bottom - bounds.top;
    const int left = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2, top = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    hwnd_ = ::CreateWindowExW(exStyle, kClassName, L"Install Screen Saver", style, left, top, width, height, nullptr,
                              nullptr, instance, this);
    if (hwnd_ == nullptr) return;
    messages_ = std::make_unique<platform::TWin32MessageBox>(
        platform::WideFromUtf8(BaseNameOf(files_.ExecutablePath())), hwnd_);
    CreateControls(instance);
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
  HWND Control(HINSTANCE instance, const wchar_t* cls, const wchar_t* text, DWORD style, int id, int x, int y, int w,
               int h) {
    HWND control = ::CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, hwnd_,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return control;
  }

  void CreateControls(HINSTANCE instance) {
    HDC screen = ::GetDC(nullptr);
    const int height = -::MulDiv(8, ::GetDeviceCaps(screen, LOGPIXELSY), 72);
    ::ReleaseDC(nullptr, screen);
    font_ = ::CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"MS Sans Serif");
    HWND image = Control(instance, L"STATIC", nullptr, SS_ICON, kImage1, 16, 14, 32, 32);
    HANDLE icon = ::LoadImageW(instance, L"MAINICON", IMAGE_ICON, 32, 32, 0);
    if (icon != nullptr) ::SendMessageW(image, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    Control(instance, L"STATIC", L"Now, the screen saver will be install to your computer, continue?", SS_LEFT,
            kLabel1, 60, 16, 256, 30);
    progress_ = Control(instance, PROGRESS_CLASSW, nullptr, 0, kProgress, 16, 58, 300, 16);
    setSSDefault_ = Control(instance, L"BUTTON", L"Set as windows default screen saver.", BS_AUTOCHECKBOX | WS_TABSTOP,
                            kSetSSDefault, 16, 82, 300, 17);
    ::SendMessageW(setSSDefault_, BM_SETCHECK, BST_CHECKED, 0);
    install_ = Control(instance, L"BUTTON", L"&Install", BS_DEFPUSHBUTTON | WS_TABSTOP, kInstall, 150, 106, 78, 25);
    exit_ = Control(instance, L"BUTTON", L"&Exit", BS_PUSHBUTTON | WS_TABSTOP, kExit, 238, 106, 78, 25);
  }

  void btnInstallClick() {
    platform::TWin32MachineRegistry registry;
    platform::TWin32Processes processes;
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
  const bool done = RunInstallWorker(runMode, {files, registry, processes, messages}, nullptr, elevated);
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
