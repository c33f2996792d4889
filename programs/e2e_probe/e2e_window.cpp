// A window for the end-to-end tests to point lumora.scr at: it stands in for the
// display settings' preview ("/p HANDLE") or for another program's window of a given
// title. Prints one JSON line with its handles, then stays up until it is closed or
// its standard input closes.
//   lumora-e2e-window [--title TEXT] [--preview WIDTHxHEIGHT] [--hidden]
// --preview adds a child window of that client size (the preview area, painted dark
// blue), whose handle the line gives as "preview".
#include "e2e_json.h"

#include <windows.h>

#include <cwchar>
#include <string>

namespace {

using lumora::e2e::EmitLine;
using lumora::e2e::Handle;

constexpr COLORREF kFrameColour = RGB(192, 192, 192);
constexpr COLORREF kPreviewColour = RGB(0, 0, 128);

DWORD mainThread = 0;

DWORD WINAPI QuitWhenInputCloses(LPVOID) {
  HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  char buffer[256];
  DWORD got = 0;
  while (::ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got > 0) {
  }
  ::PostThreadMessageW(mainThread, WM_QUIT, 0, 0);
  return 0;
}

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    ::PostQuitMessage(0);
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

void Register(const wchar_t* name, WNDPROC proc, COLORREF colour) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = proc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  wc.hbrBackground = ::CreateSolidBrush(colour);
  wc.lpszClassName = name;
  ::RegisterClassExW(&wc);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring title = L"Display Properties stand-in";
  int previewWidth = 0;
  int previewHeight = 0;
  bool hidden = false;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--title" && i + 1 < argc) {
      title = argv[++i];
    } else if (arg == L"--preview" && i + 1 < argc) {
      if (std::swscanf(argv[++i], L"%dx%d", &previewWidth, &previewHeight) != 2) return 2;
    } else if (arg == L"--hidden") {
      hidden = true;
    } else {
      std::fputs("usage: lumora-e2e-window [--title TEXT] [--preview WxH] [--hidden]\n", stderr);
      return 2;
    }
  }
  mainThread = ::GetCurrentThreadId();
  Register(L"LumoraE2EFrame", FrameProc, kFrameColour);
  Register(L"LumoraE2EPreview", ::DefWindowProcW, kPreviewColour);

  HWND frame = ::CreateWindowExW(0, L"LumoraE2EFrame", title.c_str(), WS_OVERLAPPEDWINDOW, 40, 40, 400, 320,
                                 nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  if (frame == nullptr) return 1;
  HWND preview = nullptr;
  if (previewWidth > 0 && previewHeight > 0) {
    preview = ::CreateWindowExW(0, L"LumoraE2EPreview", L"", WS_CHILD | WS_VISIBLE, 20, 20, previewWidth,
                                previewHeight, frame, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  }
  if (!hidden) {
    ::ShowWindow(frame, SW_SHOWNORMAL);
    ::UpdateWindow(frame);
  }
  HANDLE reader = ::CreateThread(nullptr, 0, QuitWhenInputCloses, nullptr, 0, nullptr);
  EmitLine("{\"hwnd\":" + Handle(frame) + ",\"preview\":" + Handle(preview) +
           ",\"pid\":" + std::to_string(::GetCurrentProcessId()) + "}");
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  if (::IsWindow(frame)) ::DestroyWindow(frame);
  if (reader != nullptr) ::CloseHandle(reader);
  return 0;
}
