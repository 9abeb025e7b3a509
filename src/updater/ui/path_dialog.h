#pragma once
#include <windows.h>

// The folder the path dialog shows, and where OK leaves what the player typed
// (Cancel leaves it empty; the close box leaves it as it was).
struct PathDialogData {
    char folder[260];
};

void runPathDialog(HINSTANCE instance, PathDialogData* data);
