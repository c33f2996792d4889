#include "platform/win32/win32_media_player.h"

#include "platform/media_device.h"
#include "platform/win32/win32_ledger.h"

#include <mmsystem.h>
#include <digitalv.h>

#include <string>

namespace lumora::platform {
namespace {

constexpr wchar_t kClassName[] = L"LumoraMediaPlayerNotify";
// MCI_STEP backwards, as the frame-based devices take it.
constexpr DWORD kStepReverse = 0x00010000L;

bool Sent(UINT device, UINT command, DWORD flags, void* parameters) {
  return ::mciSendCommandW(device, command, flags, reinterpret_cast<DWORD_PTR>(parameters)) == 0;
}

std::wstring Widened(std::string_view ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// A device driver may post its completion from a play thread of its own and run on in
// it for a moment; a close that follows at once lets the system unload the driver
// under that thread (seen under Wine with the wave driver: a crash a minute into a show
// whose music loops). Whatever driver an open brought in stays loaded until the process
// ends.
void PinDeviceDrivers() {
  for (const wchar_t* name : {L"mciwave.dll", L"mciavi32.dll", L"mciseq.dll", L"mciqtz32.dll", L"mcicda.dll"}) {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, name, &module);
  }
}

}  // namespace

TWin32MediaPlayer::TWin32MediaPlayer() {
  static const ATOM atom = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kClassName;
    return ::RegisterClassExW(&wc);
  }();
  (void)atom;
  window_ = ::CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ::GetModuleHandleW(nullptr),
                              nullptr);
  if (window_ != nullptr) ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TWin32MediaPlayer::~TWin32MediaPlayer() {
  onNotify_ = nullptr;
  notifyNext_ = false;
  Close();
  if (window_ != nullptr) {
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    ::DestroyWindow(window_);
  }
}

LRESULT CALLBACK TWin32MediaPlayer::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != MM_MCINOTIFY) return ::DefWindowProcW(window, message, wParam, lParam);
  try {
    auto* player = reinterpret_cast<TWin32MediaPlayer*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (player == nullptr || !player->onNotify_) return 0;
    TMediaNotifyResult result = TMediaNotifyResult::Failure;
    if (wParam & MCI_NOTIFY_SUCCESSFUL)
      result = TMediaNotifyResult::Successful;
    else if (wParam & MCI_NOTIFY_SUPERSEDED)
      result = TMediaNotifyResult::Superseded;
    else if (wParam & MCI_NOTIFY_ABORTED)
      result = TMediaNotifyResult::Aborted;
    // Copied: the handler may replace the callback while it runs.
    const std::function<void(TMediaNotifyResult)> onNotify = player->onNotify_;
    onNotify(result);
  } catch (...) {
    // Nothing crosses the window procedure.
  }
  return 0;
}

DWORD_PTR TWin32MediaPlayer::TakeNotify(DWORD& flags) {
  const bool notify = notifyNext_ && window_ != nullptr;
  notifyNext_ = false;
  if (!notify) return 0;
  flags |= MCI_NOTIFY;
  return reinterpret_cast<DWORD_PTR>(window_);
}

std::optional<DWORD_PTR> TWin32MediaPlayer::Status(DWORD item) {
  if (device_ == 0) return std::nullopt;
  MCI_STATUS_PARMS status{};
  status.dwItem = item;
  if (!Sent(device_, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT, &status)) return std::nullopt;
  return status.dwReturn;
}

bool TWin32MediaPlayer::Open(const std::filesystem::path& path) {
  DWORD flags = MCI_OPEN_ELEMENT;
  const DWORD_PTR callback = TakeNotify(flags);
  if (device_ != 0 || path.empty()) return false;
  const std::wstring name = path.wstring();
  MCI_OPEN_PARMSW open{};
  open.dwCallback = callback;
  open.lpstrElementName = name.c_str();
  // Containers the system's extension list leaves out name their device; the rest let
  // the list choose, and an extension the list does not know falls back to the general
  // device.
  std::wstring type = Widened(MediaDeviceType(path));
  if (!type.empty()) {
    open.lpstrDeviceType = type.c_str();
    flags |= MCI_OPEN_TYPE;
  }
  MCIERROR error = ::mciSendCommandW(0, MCI_OPEN, flags, reinterpret_cast<DWORD_PTR>(&open));
  if (error == MCIERR_EXTENSION_NOT_FOUND && type.empty()) {
    type = Widened(kGeneralMediaDevice);
    open.lpstrDeviceType = type.c_str();
    error = ::mciSendCommandW(0, MCI_OPEN, flags | MCI_OPEN_TYPE, reinterpret_cast<DWORD_PTR>(&open));
  }
  if (error != 0) return false;
  device_ = open.wDeviceID;
  counted::Created(TLedgerKind::MediaDevice);
  PinDeviceDrivers();
  // Positions and lengths in milliseconds, whatever the device's own default.
  MCI_SET_PARMS set{};
  set.dwTimeFormat = MCI_FORMAT_MILLISECONDS;
  Sent(device_, MCI_SET, MCI_SET_TIME_FORMAT | MCI_WAIT, &set);
  return true;
}

bool TWin32MediaPlayer::Close() {
  DWORD flags = 0;
  const DWORD_PTR callback = TakeNotify(flags);
  if (device_ == 0) return false;
  MCI_GENERIC_PARMS close{};
  close.dwCallback = callback;
  const bool ok = Sent(device_, MCI_CLOSE, flags, &close);
  if (ok) counted::Destroyed(TLedgerKind::MediaDevice);
  device_ = 0;
  return ok;
}

bool TWin32MediaPlayer::Play() {
  DWORD flags = 0;
  const DWORD_PTR callback = TakeNotify(flags);
  if (device_ == 0) return false;
  const std::optional<DWORD_PTR> position = Status(MCI_STATUS_POSITION);
  const std::optional<DWORD_PTR> length = Status(MCI_STATUS_LENGTH);
  if (position && length && *position >= *length) {
    MCI_SEEK_PARMS seek{};
    Sent(device_, MCI_SEEK, MCI_SEEK_TO_START | MCI_WAIT, &seek);
  }
  MCI_PLAY_PARMS play{};
  play.dwCallback = callback;
  return Sent(device_, MCI_PLAY, flags, &play);
}

bool TWin32MediaPlayer::Pause() {
  DWORD flags = 0;
  const DWORD_PTR callback = TakeNotify(flags);
  if (device_ == 0) return false;
  MCI_GENERIC_PARMS pause{};
  pause.dwCallback = callback;
  return Sent(device_, MCI_PAUSE, flags, &pause);
}

bool TWin32MediaPlayer::StepBack() {
  DWORD flags = kStepReverse;
  const DWORD_PTR callback = TakeNotify(flags);
  if (device_ == 0) return false;
  MCI_GENERIC_PARMS step{};
  step.dwCallback = callback;
  return Sent(device_, MCI_STEP, flags, &step);
}

TMediaMode TWin32MediaPlayer::Mode() {
  const std::optional<DWORD_PTR> mode = Status(MCI_STATUS_MODE);
  if (!mode) return TMediaMode::Other;
  switch (*mode) {
    case MCI_MODE_STOP:
      return TMediaMode::Stopped;
    case MCI_MODE_PLAY:
      return TMediaMode::Playing;
    case MCI_MODE_PAUSE:
      return TMediaMode::Paused;
    default:
      return TMediaMode::Other;
  }
}

std::optional<std::uint32_t> TWin32MediaPlayer::Position() {
  const std::optional<DWORD_PTR> value = Status(MCI_STATUS_POSITION);
  if (!value) return std::nullopt;
  return static_cast<std::uint32_t>(*value);
}

std::optional<std::uint32_t> TWin32MediaPlayer::Length() {
  const std::optional<DWORD_PTR> value = Status(MCI_STATUS_LENGTH);
  if (!value) return std::nullopt;
  return static_cast<std::uint32_t>(*value);
}

bool TWin32MediaPlayer::SetDisplayWindow(TWindowHandle window) {
  if (device_ == 0) return false;
  MCI_DGV_WINDOW_PARMSW parameters{};
  parameters.hWnd = reinterpret_cast<HWND>(static_cast<INT_PTR>(window));
  return Sent(device_, MCI_WINDOW, MCI_DGV_WINDOW_HWND | MCI_WAIT, &parameters);
}

std::optional<TSize> TWin32MediaPlayer::DestinationSize() {
  if (device_ == 0) return std::nullopt;
  MCI_DGV_RECT_PARMS where{};
  if (!Sent(device_, MCI_WHERE, MCI_DGV_WHERE_DESTINATION | MCI_WAIT, &where)) return std::nullopt;
  // MCI rectangles carry the width and height where a RECT has its far corner.
  return TSize{static_cast<int>(where.rc.right), static_cast<int>(where.rc.bottom)};
}

bool TWin32MediaPlayer::SetDestination(const TRect& rect) {
  if (device_ == 0) return false;
  MCI_DGV_RECT_PARMS put{};
  put.rc = RECT{rect.Left, rect.Top, rect.Width(), rect.Height()};
  return Sent(device_, MCI_PUT, MCI_DGV_PUT_DESTINATION | MCI_DGV_RECT | MCI_WAIT, &put);
}

bool TWin32MediaPlayer::SetTimeFormatFrames() {
  if (device_ == 0) return false;
  MCI_SET_PARMS set{};
  set.dwTimeFormat = MCI_FORMAT_FRAMES;
  return Sent(device_, MCI_SET, MCI_SET_TIME_FORMAT | MCI_WAIT, &set);
}

bool TWin32MediaPlayer::Rewind() {
  DWORD flags = MCI_SEEK_TO_START;
  const DWORD_PTR callback = TakeNotify(flags);
  if (device_ == 0) return false;
  // Done before the play that follows it, unless the caller waits for the notification.
  if ((flags & MCI_NOTIFY) == 0) flags |= MCI_WAIT;
  MCI_SEEK_PARMS seek{};
  seek.dwCallback = callback;
  return Sent(device_, MCI_SEEK, flags, &seek);
}

}  // namespace lumora::platform
