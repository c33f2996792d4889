// The control host programs that lumora.scr carries (RCDATA), one per processor kind of
// the controls they load.
#pragma once

#define LUMORA_RES_CONTROL_HOST_X86 301
#define LUMORA_RES_CONTROL_HOST_X64 302
