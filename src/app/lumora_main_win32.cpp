// Entry of lumora.scr. For now it reads its own trailer and ends quietly; the run
// modes are dispatched from here.
#include "app/payload.h"
#include "platform/win32/win32_files.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  lumora::platform::TWin32FileSystem fs;
  (void)lumora::ReadPayloadTrailer(fs);
  return 0;
}
