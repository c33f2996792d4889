// The settings dialog as a real dialog box: the system's dialog manager gives Tab,
// the accelerators, Enter (OK, the default button) and Esc (Cancel). The controls
// are made from the core's layout, scaled to the monitor's resolution; the two tab
// sheets are child dialogs over the tab control, so that visual styles draw their
// background as the tab's.
#include "dialogs/config_frm.h"
#include "dialogs/config_frm_layout.h"
#include "dialogs/settings_win32.h"
#include "platform/text.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_message_box.h"
#include "platform/win32/win32_shell.h"

#include <commctrl.h>

#include <array>
#include <iterator>
#include <memory>
#include <vector>

namespace lumora {
namespace {

using L = TConfigFrmLayout;
constexpr UINT kCloseNow = WM_APP + 1;
constexpr wchar_t kBannerClass[] = L"TExImage";

// An empty dialog template in memory (no controls, no font: every control is placed
// in pixels by the glue).
struct alignas(4) TEmptyTemplate {
  DLGTEMPLATE Header;
  WORD Menu = 0, Class = 0, Title = 0;
};

TEmptyTemplate MakeTemplate(DWORD style, DWORD exStyle) {
  TEmptyTemplate t{};
  t.Header.style = style;
  t.Header.dwExtendedStyle = exStyle;
  return t;
}

// Common controls and themed dialog backgrounds are looked up when the dialog runs, so
// that the player starts on systems and in configurations without them.
void InitCommonControlsOnce() {
  static const bool done = [] {
    HMODULE comctl = ::LoadLibraryW(L"comctl32.dll");
    using TInit = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    const auto init = reinterpret_cast<TInit>(
        reinterpret_cast<void*>(comctl != nullptr ? ::GetProcAddress(comctl, "InitCommonControlsEx") : nullptr));
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    if (init != nullptr) init(&icc);
    return true;
  }();
  (void)done;
}

void EnableTabTexture(HWND page) {
  using TEnable = HRESULT(WINAPI*)(HWND, DWORD);
  static const auto enable = [] {
    HMODULE theme = ::LoadLibraryW(L"uxtheme.dll");
    return reinterpret_cast<TEnable>(
        reinterpret_cast<void*>(theme != nullptr ? ::GetProcAddress(theme, "EnableThemeDialogTexture") : nullptr));
  }();
  constexpr DWORD kEnableTab = 0x2 | 0x4;  // ETDT_ENABLE | ETDT_USETABTEXTURE
  if (enable != nullptr) enable(page, kEnableTab);
}

// Message boxes owned by the dialog once it exists, so that it waits for them.
class TOwnedMessageBox final : public platform::IMessageBox {
 public:
  TOwnedMessageBox(std::wstring caption, const HWND& owner) : caption_(std::move(caption)), owner_(owner) {}
  void ShowMessage(std::string_view text) override { platform::TWin32MessageBox(caption_, owner_).ShowMessage(text); }

 private:
  std::wstring caption_;
  const HWND& owner_;
};

class TSettingsDialog {
 public:
  // The message boxes' caption: the program's name, as the user knows the file.
  TSettingsDialog(platform::IFileSystem& files, HWND owner)
      : owner_(owner),
        messages_(files.ExecutablePath().stem().wstring(), dialog_),
        form_(TConfigFrmPlatform{files, messages_, shell_}, Hooks()) {}

  ~TSettingsDialog() {
    readmes_.clear();
    if (dialog_ != nullptr) ::DestroyWindow(dialog_);
    if (font_ != nullptr) ::DeleteObject(font_);
  }

  void Run() {
    InitCommonControlsOnce();
    form_.FormShow();
    if (form_.Closed()) return;  // reported already; the dialog never shows
    if (!Create()) return;
    ::ShowWindow(dialog_, SW_SHOWNORMAL);
    ::UpdateWindow(dialog_);
    ::SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Control("btnOK")), TRUE);
    MSG message;
    while (dialog_ != nullptr && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
      if (SwitchPageKey(message)) continue;
      if (::IsDialogMessageW(dialog_, &message)) continue;
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }

 private:
  TConfigFrm::THooks Hooks() {
    TConfigFrm::THooks hooks;
    hooks.Close = [this] {
      if (dialog_ != nullptr) ::PostMessageW(dialog_, kCloseNow, 0, 0);
    };
    hooks.ShowReadme = [this](TReadmeFrm& form) { readmes_.push_back(std::make_unique<TWin32ReadmeWindow>(form)); };
    return hooks;
  }

  bool Create() {
    layout_ = LayoutConfigFrm(form_);
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME | DS_3DLOOK;
    const TEmptyTemplate main = MakeTemplate(style, WS_EX_CONTROLPARENT | WS_EX_APPWINDOW);
    dialog_ = ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr), &main.Header, owner_, DialogProc,
                                           reinterpret_cast<LPARAM>(this));
    if (dialog_ == nullptr) return false;
    const std::wstring caption = platform::WideFromAnsi(TConfigFrm::kCaption);
    ::SetWindowTextW(dialog_, caption.c_str());

    const TEmptyTemplate page = MakeTemplate(WS_CHILD | DS_CONTROL | DS_3DLOOK, WS_EX_CONTROLPARENT);
    for (HWND& sheet : pages_) {
      sheet = ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr), &page.Header, dialog_, PageProc,
                                           reinterpret_cast<LPARAM>(this));
      EnableTabTexture(sheet);
    }
    for (const TDialogControl& c : layout_.Controls) controls_.push_back(CreateControl(c));
    // Tab order (the order of the windows): the sheets, the tabs, then the buttons.
    HWND after = HWND_TOP;
    for (HWND w : {pages_[0], pages_[1], Control("PageControl1"), Control("btnOK"), Control("btnCancel"),
                   Control("btnReadme")}) {
      ::SetWindowPos(w, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      after = w;
    }
    ShowPage(0);
    Place(WindowDpi(dialog_));
    // Centred on the screen's work area.
    RECT frame{};
    ::GetWindowRect(dialog_, &frame);
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    ::SetWindowPos(dialog_, nullptr, work.left + (work.right - work.left - w) / 2,
                   work.top + (work.bottom - work.top - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
  }

  std::wstring ShowText(std::string_view text) const {
    return platform::WideFromCodePage(text, platform::CodePageOfCharset(form_.TextCharset()));
  }

  HWND CreateControl(const TDialogControl& c) {
    // The show's own texts are in the show's character set, the dialog's in the system's.
    const bool showText = c.Name == "labAuthor" || c.Name == "labWebsite" || c.Name == "memDescription";
    const std::wstring text = showText ? ShowText(c.Text) : platform::WideFromAnsi(c.Text);
    HWND parent = c.Page >= 0 ? pages_[static_cast<std::size_t>(c.Page)] : dialog_;
    const wchar_t* cls = L"STATIC";
    DWORD style = WS_CHILD | (c.Visible ? WS_VISIBLE : 0);
    DWORD exStyle = 0;
    switch (c.Kind) {
      case TDialogControlKind::Banner:
        cls = kBannerClass;
        RegisterBannerClass();
        break;
      case TDialogControlKind::PageControl:
        cls = WC_TABCONTROLW;
        style |= WS_TABSTOP | WS_CLIPSIBLINGS;
        break;
      case TDialogControlKind::GroupBox:
        cls = L"BUTTON";
        style |= BS_GROUPBOX;
        break;
      case TDialogControlKind::CheckBox:
        cls = L"BUTTON";
        style |= BS_AUTOCHECKBOX | WS_TABSTOP;
        break;
      case TDialogControlKind::Label:
        style |= SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS;
        break;
      case TDialogControlKind::Link:
        style |= SS_LEFT | SS_NOPREFIX | SS_NOTIFY | SS_ENDELLIPSIS;
        break;
      case TDialogControlKind::Memo:
        cls = L"EDIT";
        style |= WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;
        exStyle = WS_EX_CLIENTEDGE;
        break;
      case TDialogControlKind::Button:
        cls = L"BUTTON";
        style |= WS_TABSTOP | (c.Default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        break;
    }
    HWND window = ::CreateWindowExW(exStyle, cls, text.c_str(), style, 0, 0, 0, 0, parent,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.Id)), ::GetModuleHandleW(nullptr),
                                    c.Kind == TDialogControlKind::Banner ? this : nullptr);
    if (window == nullptr) return nullptr;
    if (!c.Visible) ::EnableWindow(window, FALSE);  // no accelerator reaches a hidden button
    if (c.Kind == TDialogControlKind::CheckBox)
      ::SendMessageW(window, BM_SETCHECK, c.Checked ? BST_CHECKED : BST_UNCHECKED, 0);
    if (c.Kind == TDialogControlKind::Memo) {
      ::SendMessageW(window, EM_SETLIMITTEXT, 0, 0);  // no limit: descriptions may be long
      ::SetWindowTextW(window, text.c_str());
    }
    if (c.Kind == TDialogControlKind::PageControl) {
      for (std::size_t i = 0; i < layout_.Pages.size(); ++i) {
        std::wstring caption = platform::WideFromAnsi(layout_.Pages[i]);
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = caption.data();
        ::SendMessageW(window, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
      }
    }
    if (c.Kind == TDialogControlKind::Banner && form_.imgBanner.ShowHint) AddBannerTip(window);
    return window;
  }

  HWND Control(std::string_view name) const {
    for (std::size_t i = 0; i < layout_.Controls.size(); ++i)
      if (layout_.Controls[i].Name == name) return controls_[i];
    return nullptr;
  }

  // Sizes and places everything for a resolution; again when the window moves to a
  // monitor of another resolution.
  void Place(UINT dpi) {
    const auto S = [dpi](int v) { return ::MulDiv(v, static_cast<int>(dpi), 96); };
    HFONT font = CreatePointFont(L"Verdana", L::kFontPoints, dpi);
    const TRect& area = layout_.PageArea;
    for (HWND sheet : pages_)
      ::SetWindowPos(sheet, nullptr, S(area.Left), S(area.Top), S(area.Width()), S(area.Height()),
                     SWP_NOZORDER | SWP_NOACTIVATE);
    for (std::size_t i = 0; i < layout_.Controls.size(); ++i) {
      const TDialogControl& c = layout_.Controls[i];
      HWND w = controls_[i];
      if (w == nullptr) continue;
      const int dx = c.Page >= 0 ? area.Left : 0, dy = c.Page >= 0 ? area.Top : 0;
      ::SetWindowPos(w, nullptr, S(c.Bounds.Left - dx), S(c.Bounds.Top - dy), S(c.Bounds.Width()),
                     S(c.Bounds.Height()), SWP_NOZORDER | SWP_NOACTIVATE);
      ::SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    if (font_ != nullptr) ::DeleteObject(font_);
    font_ = font;
    RECT frame{0, 0, S(layout_.ClientWidth), S(layout_.ClientHeight)};
    const DWORD style = static_cast<DWORD>(::GetWindowLongW(dialog_, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(::GetWindowLongW(dialog_, GWL_EXSTYLE));
    // The frame of a window that knows its monitor's resolution is measured at that resolution.
    using TAdjustForDpi = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = reinterpret_cast<TAdjustForDpi>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    if (adjustForDpi == nullptr || !adjustForDpi(&frame, style, FALSE, exStyle, dpi))
      ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    ::SetWindowPos(dialog_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::InvalidateRect(dialog_, nullptr, TRUE);
  }

  void ShowPage(int page) {
    for (std::size_t i = 0; i < pages_.size(); ++i)
      ::ShowWindow(pages_[i], static_cast<int>(i) == page ? SW_SHOW : SW_HIDE);
    ::SendMessageW(Control("PageControl1"), TCM_SETCURSEL, static_cast<WPARAM>(page), 0);
  }

  // Ctrl+Tab and Ctrl+Shift+Tab turn the sheets, as in the system's own property sheets.
  bool SwitchPageKey(const MSG& m) {
    if (m.message != WM_KEYDOWN || m.wParam != VK_TAB || (::GetKeyState(VK_CONTROL) & 0x8000) == 0) return false;
    if (m.hwnd != dialog_ && !::IsChild(dialog_, m.hwnd)) return false;
    const int count = static_cast<int>(pages_.size());
    const int current = static_cast<int>(::SendMessageW(Control("PageControl1"), TCM_GETCURSEL, 0, 0));
    const int step = (::GetKeyState(VK_SHIFT) & 0x8000) != 0 ? count - 1 : 1;
    ShowPage((current + step) % count);
    return true;
  }

  // Copies the boxes the user may have changed into the form, for btnOKClick.
  void ReadCheckBoxes() {
    for (int i = 0; i < static_cast<int>(std::size(kConfigCheckBoxes)); ++i) {
      HWND box = Control(kConfigCheckBoxes[i].Name);
      ConfigCheckBox(form_, i).Checked = ::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
  }

  void Command(WORD id, WORD code) {
    switch (id) {
      case L::kIdOK:
        ReadCheckBoxes();
        form_.btnOKClick();
        break;
      case L::kIdCancel:  // also Esc and the close box
        form_.btnCancelClick();
        break;
      case L::kIdReadme:
        if (form_.btnReadme.Visible) form_.btnReadmeClick();
        break;
      case L::kIdWebsite:
        if (code == STN_CLICKED) form_.labWebsiteClick();
        break;
      default:
        break;
    }
  }

  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) ::SetWindowLongPtrW(window, DWLP_USER, lParam);
    auto* self = reinterpret_cast<TSettingsDialog*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr) return FALSE;
    try {
      switch (message) {
        case WM_INITDIALOG:
          return FALSE;  // the focus is set once the controls exist
        case WM_COMMAND:
          self->Command(LOWORD(wParam), HIWORD(wParam));
          return TRUE;
        case WM_NOTIFY: {
          const auto* header = reinterpret_cast<const NMHDR*>(lParam);
          if (header->idFrom == static_cast<UINT_PTR>(L::kIdPages) && header->code == TCN_SELCHANGE)
            self->ShowPage(static_cast<int>(::SendMessageW(header->hwndFrom, TCM_GETCURSEL, 0, 0)));
          return TRUE;
        }
        case WM_DPICHANGED: {
          self->Place(HIWORD(wParam));
          const RECT* r = reinterpret_cast<const RECT*>(lParam);
          ::SetWindowPos(window, nullptr, r->left, r->top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
          return TRUE;
        }
        case kCloseNow:
          ::DestroyWindow(window);
          return TRUE;
        case WM_DESTROY:
          self->dialog_ = nullptr;
          ::PostQuitMessage(0);
          return TRUE;
        default:
          return FALSE;
      }
    } catch (...) {
      return FALSE;  // nothing unwinds through the dialog manager
    }
  }

  // The sheets pass their commands on, colour the website blue and give it a hand.
  static INT_PTR CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) ::SetWindowLongPtrW(window, DWLP_USER, lParam);
    auto* self = reinterpret_cast<TSettingsDialog*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr) return FALSE;
    switch (message) {
      case WM_COMMAND:
        ::SendMessageW(::GetParent(window), WM_COMMAND, wParam, lParam);
        return TRUE;
      case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        const HWND control = reinterpret_cast<HWND>(lParam);
        if (control == self->Control("labWebsite")) {
          ::SetTextColor(dc, RGB(0, 0, 255));
          ::SetBkMode(dc, TRANSPARENT);
          return reinterpret_cast<INT_PTR>(::GetStockObject(NULL_BRUSH));
        }
        if (control == self->Control("memDescription")) {
          ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
          return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_BTNFACE));
        }
        return FALSE;
      }
      case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wParam) == self->Control("labWebsite")) {
          ::SetCursor(::LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));  // IDC_HAND
          ::SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);
          return TRUE;
        }
        return FALSE;
      default:
        return FALSE;
    }
  }

  // ---- the banner: the picture stretched over the strip, a hand, a tip, the click

  void RegisterBannerClass() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = BannerProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32649));  // IDC_HAND
    wc.lpszClassName = kBannerClass;
    ::RegisterClassExW(&wc);
  }

  void AddBannerTip(HWND banner) {
    HWND tip = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog_, nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr);
    if (tip == nullptr) return;
    bannerTip_ = ShowText(form_.imgBanner.Hint);
    TTTOOLINFOW info{};
    info.cbSize = sizeof(info);
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = dialog_;
    info.uId = reinterpret_cast<UINT_PTR>(banner);
    info.lpszText = bannerTip_.data();
    ::SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
  }

  static LRESULT CALLBACK BannerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE)
      ::SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    auto* self = reinterpret_cast<TSettingsDialog*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
    TExImage& image = self->form_.imgBanner;
    switch (message) {
      case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(window, &ps);
        RECT client{};
        ::GetClientRect(window, &client);
        const TBitmap32& b = image.Picture().Bitmap();
        if (!b.Empty()) {
          BITMAPINFO info{};
          info.bmiHeader.biSize = sizeof(info.bmiHeader);
          info.bmiHeader.biWidth = b.Width();
          info.bmiHeader.biHeight = -b.Height();  // top-down
          info.bmiHeader.biPlanes = 1;
          info.bmiHeader.biBitCount = 32;
          info.bmiHeader.biCompression = BI_RGB;
          ::SetStretchBltMode(dc, HALFTONE);
          ::StretchDIBits(dc, 0, 0, client.right, client.bottom, 0, 0, b.Width(), b.Height(), b.Pixels().data(),
                          &info, DIB_RGB_COLORS, SRCCOPY);
        }
        ::EndPaint(window, &ps);
        return 0;
      }
      case WM_MOUSEMOVE:
        if (!self->bannerHovered_) {
          self->bannerHovered_ = true;
          TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, window, 0};
          ::TrackMouseEvent(&track);
          image.MouseEntered();
        }
        return 0;
      case WM_MOUSELEAVE:
        self->bannerHovered_ = false;
        image.MouseLeft();
        return 0;
      case WM_LBUTTONUP:
        image.Clicked();
        return 0;
      default:
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
  }

  HWND owner_ = nullptr;
  HWND dialog_ = nullptr;
  TOwnedMessageBox messages_;
  platform::TWin32Shell shell_;
  TConfigFrm form_;
  TConfigFrmLayout layout_;
  std::array<HWND, 2> pages_{};
  std::vector<HWND> controls_;  // in the layout's order
  HFONT font_ = nullptr;
  std::wstring bannerTip_;
  bool bannerHovered_ = false;
  std::vector<std::unique_ptr<TWin32ReadmeWindow>> readmes_;
};

}  // namespace

void RunSettingsDialogWin32(platform::IFileSystem& files, platform::TWindowHandle owner) {
  try {
    HWND ownerWindow = reinterpret_cast<HWND>(static_cast<INT_PTR>(owner));
    TSettingsDialog dialog(files, owner != 0 && ::IsWindow(ownerWindow) ? ownerWindow : nullptr);
    dialog.Run();
  } catch (...) {
    // The mode ends quietly whatever happened.
  }
}

}  // namespace lumora
