// The Win32 backend's calls that make and free system objects, booked in the process's
// handle ledger (platform/handle_ledger.h). Same arguments and results as the system
// calls they stand for.
#pragma once

#include "platform/handle_ledger.h"
#include "platform/show_trace.h"

#include <windows.h>

#include <memory>

namespace lumora::platform::counted {

HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD offset);
HFONT CreateFontIndirectW(const LOGFONTW* font);
HBRUSH CreateSolidBrush(COLORREF colour);
HRGN ExtCreateRegion(const XFORM* transform, DWORD bytes, const RGNDATA* data);
// Books the object by its kind (bitmap, font, brush, region) as it goes.
BOOL DeleteObject(HGDIOBJ object);
// A region handed to a window: the window owns it from here on.
int SetWindowRgn(HWND window, HRGN region, BOOL redraw);

// Kinds the backend books itself where it makes and ends them (timers, threads, media
// devices).
inline void Created(TLedgerKind kind) { ProcessLedger().Created(kind); }
inline void Destroyed(TLedgerKind kind) { ProcessLedger().Destroyed(kind); }

}  // namespace lumora::platform::counted

namespace lumora::platform {

// Writes the ledger to the file that the environment variable LUMORA_LEDGER names, if
// it is set: the booked kinds, then the windows this process has now ("windows"), and the system's own object counts where it keeps them ("gdi", "user"). For the
// end-to-end tests; nothing happens without the variable.
void WriteLedgerReport();

// The show's trace file (platform/show_trace.h) that the environment variable
// LUMORA_TRACE names; none without the variable or when the file cannot be made.
std::unique_ptr<TTraceFile> OpenTraceFile();

// The message ("LumoraLedgerReport", registered) on which a show form writes the report.
UINT LedgerReportMessage();

}  // namespace lumora::platform
