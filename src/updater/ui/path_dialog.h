#pragma once
#include <windows.h>

// The folder the path dialog shows, and where OK leaves what the player typed
// (Cancel leaves it empty; the close box leaves it as it was).
enum { PATH_FIELD_CAPACITY = 260 };
struct PathDialogData {
    wchar_t folder[PATH_FIELD_CAPACITY];
};

void runPathDialog(HINSTANCE instance, PathDialogData* data);
