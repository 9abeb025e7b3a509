#pragma once
#include <windows.h>

// One run at a time from a patch folder: a second updater.exe started from the
// same folder (a double click too many) finds it taken. Returns false when
// another run holds the folder; otherwise *lock is the handle that holds it
// until the caller closes it (NULL when the folder cannot be identified).
bool lockPatchFolder(const wchar_t* folder, HANDLE* lock);
