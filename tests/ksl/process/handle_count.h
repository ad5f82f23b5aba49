// The number of handles this process holds, for tests that look for leaks.
#pragma once

#include <windows.h>

// GetProcessHandleCount where the system answers it; this Wine answers 0, and then the handles
// owned by this process are counted in the system's handle table instead.
DWORD openHandleCount();
