// The Win32 API for the window program. windows.h names the ANSI or wide function by macro;
// MessageBox must keep naming the program's own box description (protect/message_boxes.h),
// so the program calls MessageBoxW by its own name.
#pragma once

#include <windows.h>

#undef MessageBox
