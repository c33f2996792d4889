// One control activated in place inside a window of this process: an OLE container of
// our own (client site, in-place site and frame), dispatch calls by name, and the
// control's window subclassed so that its mouse messages pass the hook first. Used by
// the player for a control it can load itself and by the control host program.
#pragma once

#include "platform/activex.h"

#include <windows.h>
#include <ole2.h>

namespace lumora::platform {

// Whether a creation failed because the class is unknown here.
bool ClassMissing(HRESULT hr);

// Makes the control of clsid through factory, or through the registry when factory is
// null, and activates it in parent, hidden, at (0, 0) with size 1 x 1; without a parent
// the object is only made. Null with the reason in failure.
std::unique_ptr<IActiveXControl> CreateOleControl(const CLSID& clsid, IClassFactory* factory, HWND parent,
                                                  TActiveXFailure& failure);

}  // namespace lumora::platform
