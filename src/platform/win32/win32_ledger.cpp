#include "platform/win32/win32_ledger.h"

#include <cstdio>
#include <string>

namespace lumora::platform {
namespace counted {
namespace {

template <class THandle>
THandle Booked(THandle handle, TLedgerKind kind) {
  if (handle != nullptr) ProcessLedger().Created(kind);
  return handle;
}

}  // namespace

HDC CreateCompatibleDC(HDC dc) { return Booked(::CreateCompatibleDC(dc), TLedgerKind::DeviceContext); }

BOOL DeleteDC(HDC dc) {
  const BOOL ok = ::DeleteDC(dc);
  if (ok) ProcessLedger().Destroyed(TLedgerKind::DeviceContext);
  return ok;
}

HDC GetDC(HWND window) { return Booked(::GetDC(window), TLedgerKind::DeviceContext); }

int ReleaseDC(HWND window, HDC dc) {
  const int released = ::ReleaseDC(window, dc);
  if (released != 0) ProcessLedger().Destroyed(TLedgerKind::DeviceContext);
  return released;
}

HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD offset) {
  return Booked(::CreateDIBSection(dc, info, usage, bits, section, offset), TLedgerKind::Bitmap);
}

HFONT CreateFontIndirectW(const LOGFONTW* font) { return Booked(::CreateFontIndirectW(font), TLedgerKind::Font); }

HBRUSH CreateSolidBrush(COLORREF colour) { return Booked(::CreateSolidBrush(colour), TLedgerKind::Brush); }

HRGN ExtCreateRegion(const XFORM* transform, DWORD bytes, const RGNDATA* data) {
  return Booked(::ExtCreateRegion(transform, bytes, data), TLedgerKind::Region);
}

BOOL DeleteObject(HGDIOBJ object) {
  TLedgerKind kind = TLedgerKind::Bitmap;
  bool known = true;
  switch (::GetObjectType(object)) {
    case OBJ_BITMAP: kind = TLedgerKind::Bitmap; break;
    case OBJ_FONT: kind = TLedgerKind::Font; break;
    case OBJ_BRUSH: kind = TLedgerKind::Brush; break;
    case OBJ_REGION: kind = TLedgerKind::Region; break;
    default: known = false; break;
  }
  const BOOL ok = ::DeleteObject(object);
  if (ok && known) ProcessLedger().Destroyed(kind);
  return ok;
}

int SetWindowRgn(HWND window, HRGN region, BOOL redraw) {
  const int set = ::SetWindowRgn(window, region, redraw);
  if (set != 0 && region != nullptr) ProcessLedger().Destroyed(TLedgerKind::Region);
  return set;
}

}  // namespace counted

namespace {

BOOL CALLBACK CountChild(HWND, LPARAM count) {
  ++*reinterpret_cast<long long*>(count);
  return TRUE;
}

BOOL CALLBACK CountOwnWindow(HWND window, LPARAM count) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  if (process != ::GetCurrentProcessId()) return TRUE;
  ++*reinterpret_cast<long long*>(count);
  ::EnumChildWindows(window, &CountChild, count);
  return TRUE;
}

}  // namespace

void WriteLedgerReport() {
  wchar_t path[MAX_PATH * 2];
  const DWORD n = ::GetEnvironmentVariableW(L"LUMORA_LEDGER", path, MAX_PATH * 2);
  if (n == 0 || n >= MAX_PATH * 2) return;
  std::string text = ProcessLedger().Report();
  // Windows die with their parents without a call of ours: count the ones there are.
  long long windows = 0;
  ::EnumWindows(&CountOwnWindow, reinterpret_cast<LPARAM>(&windows));
  text += "windows " + std::to_string(windows) + '\n';
  text += "gdi " + std::to_string(::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS)) + '\n';
  text += "user " + std::to_string(::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS)) + '\n';
  FILE* file = ::_wfopen(path, L"wb");
  if (file == nullptr) return;
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
}

std::unique_ptr<TTraceFile> OpenTraceFile() {
  wchar_t path[MAX_PATH * 2];
  const DWORD n = ::GetEnvironmentVariableW(L"LUMORA_TRACE", path, MAX_PATH * 2);
  if (n == 0 || n >= MAX_PATH * 2) return nullptr;
  FILE* file = ::_wfopen(path, L"wb");
  if (file == nullptr) return nullptr;
  return std::make_unique<TTraceFile>(file);
}

UINT LedgerReportMessage() {
  static const UINT message = ::RegisterWindowMessageW(L"LumoraLedgerReport");
  return message;
}

}  // namespace lumora::platform
