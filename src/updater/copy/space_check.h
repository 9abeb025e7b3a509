#pragma once
#include "copy_entry.h"

// True when the copies fit the installation's volume at their peak; otherwise
// the player is told what is needed and what is free, and nothing is copied.
bool patchFitsOnDisk(const wchar_t* patchFolder, const wchar_t* installFolder, EntryList patch);
