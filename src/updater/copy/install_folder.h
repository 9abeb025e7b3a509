#pragma once
#include <windows.h>

#include "copy_entry.h"

// Whether a folder given to the copy with administrator rights is this game's
// installation, judged on the folder opened as a handle (its final path), never
// on the text: a drive's root, the Windows folder and all below it, a Program
// Files folder itself, the profiles folder or a profile's root, a network or
// device path, a drive that is not fixed, and a folder that does not already
// hold the file the patch's run entry replaces (with no run entry: a file the
// patch replaces) are refused. On success the folder stays open until the
// process ends, so that it cannot be renamed or replaced meanwhile, and final
// receives its final path, which the copy then uses.
bool isGameInstallation(const wchar_t* folder, EntryList patch, const EntryNames* runEntry, wchar_t* final);
