#pragma once
#include <windows.h>

// Handles what is pending for the window (painting, a close), then returns.
void handlePendingMessages(HWND window);

// Copies source over destination like CopyFileA with overwriting allowed, but in
// chunks, handling the window's pending messages between them so that it stays
// painted and answering. Returns 0, or the error number of what failed.
DWORD copyFileKeepingWindowAlive(const char* source, const char* destination, HWND window);
