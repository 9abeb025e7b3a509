#pragma once
#include "format/path_text.h"

// An entry's names as the updater uses them: the script's text decoded.
struct EntryNames {
    wchar_t targetPath[TEXT_CAPACITY];   // relative to the installation folder
    wchar_t sourceName[TEXT_CAPACITY];   // the file in the patch folder
};

// The patch's entries, whose names no temporary file ever takes.
struct EntryList {
    const EntryNames* entries;
    int count;
};

// What copying an entry will meet, found without writing anything: the error
// it fails with (0 when none), whether the file is already in place or is a
// symbolic link, and the sizes of the patch file and of the installed file it
// replaces.
struct EntryForecast {
    unsigned long error;
    bool inPlace;
    bool replacesLink;
    unsigned long long newBytes;
    unsigned long long replacedBytes;
};
void forecastEntry(const wchar_t* patchFolder, const wchar_t* installFolder, const EntryNames* entry,
                   EntryForecast* forecast);

// Copies one entry from the patch folder into the installation folder, under
// its relative path, replacing an installed file whole or not at all. Returns
// 0 when the file is in place, otherwise the error number the player is shown.
unsigned long copyEntry(const wchar_t* patchFolder, const wchar_t* installFolder, const EntryNames* entry,
                        EntryList patch);

// True when the installation refuses this process the files its copies write:
// a folder only an administrator may change (error 5 on opening an installed
// file for its replacement, or on creating the temporary file beside it).
// Every entry's folder is asked, since one sub-folder may be protected alone.
bool refusesNewFiles(const wchar_t* patchFolder, const wchar_t* installFolder, EntryList patch);
