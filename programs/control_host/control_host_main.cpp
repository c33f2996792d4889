// The control host: a small program of ours that hosts one control for lumora.scr in a
// process of its own, so that a 32-bit control (or one that crashes) can play in a
// 64-bit show. It makes the control by its class name when the system knows the class,
// or else loads the show's own control file privately (its class factory, asked
// directly, with nothing registered), places it in a window that is a child of the
// player's panel, and answers the player's questions over two pipes, whose handles it
// inherits (command line: the reading end's number, then the writing end's). It tells
// the player of every input message its windows get, lets the control's window have
// only the mouse messages that the player's table allows, and ends when its pipe closes.
#include "platform/control_protocol.h"
#include "platform/win32/win32_ole_control.h"
#include "platform/win32/win32_pipe_channel.h"
#include "platform/win32/win32_unicode.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <memory>
#include <thread>

namespace lumora::platform {
namespace {

constexpr UINT kPacketMessage = WM_APP + 1;  // lParam: a TControlPacket* to answer
constexpr UINT kEndMessage = WM_APP + 2;     // the pipe is gone
const wchar_t kContainerClass[] = L"LumoraControlHost";

// The control inside a window of ours made a child of the player's panel: the window
// takes the bounds, the control fills it.
class TContainedControl final : public IActiveXControl {
 public:
  TContainedControl(std::unique_ptr<IActiveXControl> control, HWND container)
      : control_(std::move(control)), container_(container) {}
  ~TContainedControl() override {
    control_.reset();
    ::DestroyWindow(container_);
  }
  std::optional<TDispValue> GetProperty(std::string_view name) override { return control_->GetProperty(name); }
  bool SetProperty(std::string_view name, const TDispValue& value) override {
    return control_->SetProperty(name, value);
  }
  bool Call(std::string_view method) override { return control_->Call(method); }
  void SetBounds(const TRect& r) override {
    ::MoveWindow(container_, r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top, TRUE);
    control_->SetBounds(TRect{0, 0, r.Right - r.Left, r.Bottom - r.Top});
  }
  void SetVisible(bool visible) override {
    control_->SetVisible(visible);
    ::ShowWindow(container_, visible ? SW_SHOWNA : SW_HIDE);
  }
  void SetMessageHook(std::function<bool(TControlMessage, int, int)> hook) override {
    control_->SetMessageHook(std::move(hook));
  }

 private:
  std::unique_ptr<IActiveXControl> control_;
  HWND container_;
};

std::unique_ptr<IActiveXControl> Make(const TControlPacket& create, TControlServer& server, TActiveXFailure& failure) {
  failure = TActiveXFailure::OtherFailure;
  HWND parent = reinterpret_cast<HWND>(static_cast<UINT_PTR>(create.Handle));
  if (!::IsWindow(parent)) return nullptr;
  HWND container = ::CreateWindowExW(WS_EX_NOPARENTNOTIFY, kContainerClass, L"", WS_CHILD | WS_CLIPCHILDREN, 0, 0, 1,
                                     1, parent, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  if (container == nullptr) return nullptr;

  std::unique_ptr<IActiveXControl> control;
  CLSID clsid{};
  const std::wstring name = WideFromUtf8(create.Name);
  HRESULT hr = ::CLSIDFromProgID(name.c_str(), &clsid);
  if (SUCCEEDED(hr)) control = CreateOleControl(clsid, nullptr, container, failure);
  else failure = ClassMissing(hr) ? TActiveXFailure::ClassNotRegistered : TActiveXFailure::OtherFailure;

  if (!control && !create.File.empty()) {
    // The show's own file: its class factory, asked directly. The library stays loaded
    // for as long as this process lives.
    const std::wstring classId = WideFromUtf8(create.ClassId);
    const std::wstring file = WideFromUtf8(create.File);
    HMODULE library = ::LoadLibraryExW(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    using TGetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto getClassObject =
        library ? reinterpret_cast<TGetClassObject>(reinterpret_cast<void*>(::GetProcAddress(library, "DllGetClassObject")))
                : nullptr;
    IClassFactory* factory = nullptr;
    if (getClassObject != nullptr && SUCCEEDED(::CLSIDFromString(classId.c_str(), &clsid)) &&
        SUCCEEDED(getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory))) && factory) {
      control = CreateOleControl(clsid, factory, container, failure);
      factory->Release();
    } else {
      failure = TActiveXFailure::OtherFailure;
    }
  }
  if (!control) {
    ::DestroyWindow(container);
    return nullptr;
  }
  control->SetMessageHook([&server](TControlMessage m, int x, int y) { return server.Tell(m, x, y); });
  failure = TActiveXFailure::NoFailure;
  return std::make_unique<TContainedControl>(std::move(control), container);
}

LRESULT CALLBACK PacketWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* server = reinterpret_cast<TControlServer*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == kPacketMessage) {
    std::unique_ptr<TControlPacket> packet(reinterpret_cast<TControlPacket*>(lParam));
    if (server != nullptr && !server->Answer(*packet)) ::PostQuitMessage(0);
    return 0;
  }
  if (message == kEndMessage) {
    ::PostQuitMessage(0);
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

bool IsInput(UINT message) {
  return (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) || (message >= WM_KEYFIRST && message <= WM_KEYLAST);
}

int Run(HANDLE read, HANDLE write) {
  if (FAILED(::OleInitialize(nullptr))) return 2;
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSW container{};
  container.lpfnWndProc = ::DefWindowProcW;
  container.hInstance = instance;
  container.hbrBackground = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
  container.lpszClassName = kContainerClass;
  WNDCLASSW packets{};
  packets.lpfnWndProc = PacketWindowProc;
  packets.hInstance = instance;
  packets.lpszClassName = L"LumoraControlHostPackets";
  if (!::RegisterClassW(&container) || !::RegisterClassW(&packets)) return 2;
  HWND packetWindow = ::CreateWindowExW(0, packets.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance,
                                        nullptr);
  if (packetWindow == nullptr) return 2;

  TWin32PipeChannel channel(read, write, false);
  TControlServer server(channel, [&server](const TControlPacket& create, TActiveXFailure& failure) {
    return Make(create, server, failure);
  });
  ::SetWindowLongPtrW(packetWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&server));

  // Reads on a thread of its own; every question is answered on this one, which owns
  // the control.
  std::thread reader([&channel, packetWindow] {
    while (true) {
      std::optional<TControlPacket> packet = ReadControlPacket(channel, INFINITE);
      if (!packet) break;
      auto* copy = new TControlPacket(std::move(*packet));
      if (!::PostMessageW(packetWindow, kPacketMessage, 0, reinterpret_cast<LPARAM>(copy))) {
        delete copy;
        break;
      }
    }
    ::PostMessageW(packetWindow, kEndMessage, 0, 0);
  });

  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (IsInput(message.message) && message.hwnd != packetWindow)
      server.TellInput(message.message, static_cast<std::uint32_t>(message.wParam),
                       static_cast<std::int32_t>(message.lParam));
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  server.Release();
  ::DestroyWindow(packetWindow);
  ::OleUninitialize();
  // The reader may still be blocked in a read of the pipe: the process ends around it,
  // before the channel it reads goes away.
  ::ExitProcess(0);
}

}  // namespace
}  // namespace lumora::platform

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int count = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (argv == nullptr || count != 3) return 1;
  const auto read = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(std::wcstoull(argv[1], nullptr, 10)));
  const auto write = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(std::wcstoull(argv[2], nullptr, 10)));
  ::LocalFree(argv);
  return lumora::platform::Run(read, write);
}
