// The end-to-end tests' eyes inside Wine. Commands (each prints JSON lines):
//   windows       every top-level window and all its descendants: handle, title, class,
//                 style, exstyle, parent, owner, rect, client size, visibility, process
//   watch         from a "ready" line on, one line per window that any other process
//                 creates, shows, hides or destroys, until standard input closes; the
//                 events of windows created before that are all reported
//   close HWND    posts WM_CLOSE to a window
//   screen        the screen size
//   checked HWND  the check state of a check box (0 clear, 1 ticked, 2 indeterminate)
#include "e2e_json.h"

#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

using lumora::e2e::EmitLine;
using lumora::e2e::Handle;
using lumora::e2e::Quoted;

std::wstring ProcessImageName(DWORD pid) {
  HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (process == nullptr) return {};
  wchar_t path[MAX_PATH * 2];
  DWORD size = MAX_PATH * 2;
  std::wstring name;
  if (::QueryFullProcessImageNameW(process, 0, path, &size)) {
    name.assign(path, size);
    const std::size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos) name.erase(0, slash + 1);
  }
  ::CloseHandle(process);
  return name;
}

// All facts about one window, without sending it any message (a hung window must not
// hang the probe).
std::string Describe(HWND window, const char* event = nullptr) {
  wchar_t title[512] = L"";
  ::InternalGetWindowText(window, title, 512);
  wchar_t className[256] = L"";
  ::GetClassNameW(window, className, 256);
  HWND parent = ::GetAncestor(window, GA_PARENT);
  if (parent == ::GetDesktopWindow()) parent = nullptr;
  RECT rect{};
  ::GetWindowRect(window, &rect);
  RECT client{};
  ::GetClientRect(window, &client);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  std::string line = "{";
  if (event != nullptr) line += "\"event\":" + Quoted(std::string(event)) + ",";
  line += "\"hwnd\":" + Handle(window);
  line += ",\"title\":" + Quoted(std::wstring(title));
  line += ",\"class\":" + Quoted(std::wstring(className));
  line += ",\"style\":" + std::to_string(static_cast<DWORD>(::GetWindowLongW(window, GWL_STYLE)));
  line += ",\"exstyle\":" + std::to_string(static_cast<DWORD>(::GetWindowLongW(window, GWL_EXSTYLE)));
  line += ",\"parent\":" + Handle(parent);
  line += ",\"owner\":" + Handle(::GetWindow(window, GW_OWNER));
  line += ",\"rect\":[" + std::to_string(rect.left) + "," + std::to_string(rect.top) + "," +
          std::to_string(rect.right) + "," + std::to_string(rect.bottom) + "]";
  line += ",\"client\":[" + std::to_string(client.right - client.left) + "," +
          std::to_string(client.bottom - client.top) + "]";
  line += std::string(",\"visible\":") + (::IsWindowVisible(window) ? "true" : "false");
  line += ",\"pid\":" + std::to_string(pid);
  line += ",\"exe\":" + Quoted(ProcessImageName(pid));
  return line + "}";
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

int ListWindows() {
  std::vector<HWND> topLevel;
  ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&topLevel));
  for (HWND window : topLevel) {
    EmitLine(Describe(window));
    std::vector<HWND> children;  // every descendant, whatever process owns it
    ::EnumChildWindows(window, CollectWindow, reinterpret_cast<LPARAM>(&children));
    for (HWND child : children) EmitLine(Describe(child));
  }
  return 0;
}

DWORD mainThread = 0;
HWND endMarker = nullptr;
constexpr UINT kInputClosed = WM_APP + 1;
constexpr wchar_t kEndMarkerClass[] = L"LumoraE2EWatchEnd";

DWORD WINAPI ReportInputClosed(LPVOID) {
  HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  char buffer[256];
  DWORD got = 0;
  while (::ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got > 0) {
  }
  ::PostThreadMessageW(mainThread, kInputClosed, 0, 0);
  return 0;
}

void CALLBACK OnWindowEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD thread, DWORD) {
  if (window == nullptr || object != OBJID_WINDOW || child != CHILDID_SELF) return;
  if (window == endMarker && event == EVENT_OBJECT_CREATE) {
    // Events reach the watch in the order they happened: all earlier ones are in.
    ::PostQuitMessage(0);
    return;
  }
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  if (pid == ::GetCurrentProcessId()) return;
  switch (event) {
    case EVENT_OBJECT_CREATE:
      EmitLine(Describe(window, "create"));
      break;
    case EVENT_OBJECT_SHOW:
      EmitLine(Describe(window, "show"));
      break;
    case EVENT_OBJECT_HIDE:
      EmitLine(Describe(window, "hide"));
      break;
    case EVENT_OBJECT_DESTROY:
      EmitLine("{\"event\":\"destroy\",\"hwnd\":" + Handle(window) + ",\"thread\":" + std::to_string(thread) + "}");
      break;
    default:
      break;
  }
}

int WatchWindows() {
  mainThread = ::GetCurrentThreadId();
  MSG message;
  ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue exists from here on
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = ::DefWindowProcW;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = kEndMarkerClass;
  ::RegisterClassExW(&wc);
  HWINEVENTHOOK hook = ::SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_HIDE, nullptr, OnWindowEvent, 0, 0,
                                         WINEVENT_OUTOFCONTEXT);
  if (hook == nullptr) {
    EmitLine("{\"error\":\"SetWinEventHook failed\"}");
    return 1;
  }
  HANDLE reader = ::CreateThread(nullptr, 0, ReportInputClosed, nullptr, 0, nullptr);
  EmitLine("{\"ready\":true}");
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.hwnd == nullptr && message.message == kInputClosed) {
      // A window of our own marks the end; a timer ends the watch should its event never come.
      endMarker = ::CreateWindowExW(0, kEndMarkerClass, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr);
      ::SetTimer(nullptr, 0, 5000, nullptr);
      continue;
    }
    if (message.hwnd == nullptr && message.message == WM_TIMER) {
      EmitLine("{\"warning\":\"end marker not seen\"}");
      break;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  ::UnhookWinEvent(hook);
  if (endMarker != nullptr) ::DestroyWindow(endMarker);
  EmitLine("{\"done\":true}");
  if (reader != nullptr) ::CloseHandle(reader);
  return 0;
}

int PostClose(const wchar_t* handleText) {
  const long long value = std::wcstoll(handleText, nullptr, 10);
  HWND window = reinterpret_cast<HWND>(static_cast<INT_PTR>(value));
  const bool posted = ::IsWindow(window) && ::PostMessageW(window, WM_CLOSE, 0, 0);
  EmitLine(std::string("{\"closed\":") + (posted ? "true" : "false") + "}");
  return posted ? 0 : 1;
}

int CheckState(const wchar_t* handleText) {
  HWND window = reinterpret_cast<HWND>(static_cast<INT_PTR>(std::wcstoll(handleText, nullptr, 10)));
  if (!::IsWindow(window)) {
    EmitLine("{\"error\":\"no such window\"}");
    return 1;
  }
  DWORD_PTR state = 0;
  // A hung window must not hang the probe.
  if (!::SendMessageTimeoutW(window, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &state)) {
    EmitLine("{\"error\":\"no answer\"}");
    return 1;
  }
  EmitLine("{\"checked\":" + std::to_string(state) + "}");
  return 0;
}

int ScreenSize() {
  EmitLine("{\"width\":" + std::to_string(::GetSystemMetrics(SM_CXSCREEN)) +
           ",\"height\":" + std::to_string(::GetSystemMetrics(SM_CYSCREEN)) + "}");
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"windows") return ListWindows();
  if (command == L"watch") return WatchWindows();
  if (command == L"close" && argc > 2) return PostClose(argv[2]);
  if (command == L"screen") return ScreenSize();
  if (command == L"checked" && argc > 2) return CheckState(argv[2]);
  std::fputs("usage: lumora-e2e-probe windows | watch | close HWND | screen | checked HWND\n", stderr);
  return 2;
}
