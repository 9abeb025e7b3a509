#pragma once
#include "format/path_text.h"

// An entry's names as the updater uses them: the script's text decoded.
struct EntryNames {
    wchar_t targetPath[TEXT_CAPACITY];   // relative to the installation folder
    wchar_t sourceName[TEXT_CAPACITY];   // the file in the patch folder
};

// Copies one entry from the patch folder into the installation folder, under
// its relative path. Returns 0 when the file is in place, otherwise the error
// number the player is shown.
unsigned long copyEntry(const wchar_t* patchFolder, const wchar_t* installFolder, const EntryNames* entry);
