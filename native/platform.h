// The one place that decides where Win32 comes from: the real headers in the
// Windows build, our small stand-in when the portable core is built natively.
#pragma once
#ifdef _WIN32
#include <windows.h>
#else
#include "win32_shim.h"
#endif
