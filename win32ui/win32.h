// The system's headers for the window's code, every one of them here and
// before the launcher's own: <windows.h> takes some of the launcher's names
// as macros (MessageTarget::PostMessage and MessageBox, WM_USER). They are
// undefined, the system's functions are called by their wide names, and
// WM_USER becomes the window's own (window/window_messages.h), of the same
// value, which the system's macros (PBM_SETPOS is WM_USER + 2) then use.
#pragma once

#include <windows.h>
#include <winsock2.h>
// After windows.h:
#include <commctrl.h>
#include <exdisp.h>
#include <exdispid.h>
#include <mshtmdid.h>
#include <mshtmhst.h>
#include <ole2.h>
#include <shellapi.h>
#include <shobjidl.h>
#include <uxtheme.h>

#undef PostMessage
#undef MessageBox
#undef LoadBitmap
#undef WM_USER

#include "window/window_messages.h"

using window::WM_USER;
