#pragma once
#include <windows.h>

#include "copy_entry.h"

// Entries whose file the patch ships only as VCDIFF deltas (format/patch_manifest.h, format/vcdiff.h).

// The delta's file in the patch folder (format/patch_manifest.h), decoded as the script's names
// are; false when its name would be too long.
bool deltaFileWideName(const ManifestDelta* delta, wchar_t name[TEXT_CAPACITY]);

// Before anything changes: each such entry's installed file is read and given the delta whose
// base it is (entry->delta), or none when it already is the new file. False, once the player is
// told which file matches no version the update knows, when one matches none.
bool findDeltaBases(const wchar_t* installFolder, EntryNames* entries, int count);

// Writes the file entry->delta gives from the installed file (open for reading) into temporary.
// The delta's bytes are compared with the manifest before any is decoded, and the result's as
// they are written: 0, ERROR_PATCH_DAMAGED, or the system's error. written receives its size.
unsigned long decodeDelta(const wchar_t* patchFolder, const EntryNames* entry, HANDLE installed, HANDLE temporary,
                          unsigned long long* written);
