#pragma once
#include <windows.h>

#include "copy_outcome.h"
#include "format/patch_manifest.h"
#include "format/path_text.h"

// A resolved path may be longer than the composed one (a link's target), and
// is written in the "\\?\" form, where a temporary name may pass 259 characters.
enum { FULL_PATH_CAPACITY = 1024 };


// An entry's names as the updater uses them: the script's text decoded; and what the manifest
// says of its file, once the patch is trusted.
struct EntryNames {
    wchar_t targetPath[TEXT_CAPACITY];   // relative to the installation folder
    wchar_t sourceName[TEXT_CAPACITY];   // the file in the patch folder
    const ManifestFile* listed;          // its line in the manifest; null without one
    const ManifestDelta* delta;          // shipped as deltas: the one from the installed file; null when already new
};

// The patch's entries, whose names no temporary file ever takes.
struct EntryList {
    const EntryNames* entries;
    int count;
};

// What copying an entry will meet, found without writing anything
// (format/entry_rule.h): the error it fails with (0 when none), whether the
// file is already in place, whether it replaces a symbolic link, and what its
// staged copy adds on the installation's disk.
struct EntryForecast {
    unsigned long error;
    bool inPlace;
    bool replacesLink;
    unsigned long long stagedBytes;
};
void forecastEntry(const wchar_t* patchFolder, const wchar_t* installFolder, const EntryNames* entry,
                   EntryForecast* forecast);

// An entry's copy, written beside the file it will replace ("name.updating")
// and held open, so that nothing else writes it, until it is closed.
struct StagedFile {
    bool staged;  // a temporary file waits to be put in place
    HANDLE file;
    HANDLE folder;  // on the elevated road, the held folder both names lie in (held_folders.h); else NULL
    DWORD attributes;
    FILETIME lastWrite;
    unsigned long long bytes;  // as read from the patch file
    wchar_t target[FULL_PATH_CAPACITY];
    wchar_t temporary[FULL_PATH_CAPACITY];
};

// Stages one entry: the patch file is copied beside its destination in the
// installation folder, and compared with listed (its size and SHA-256 in the
// manifest; null when there is none) on the very bytes written; a file already
// in place is read and compared all the same. Returns 0 when it is staged or
// already in place, ERROR_PATCH_DAMAGED when it does not match
// (nothing is left behind), otherwise the error number the player is shown.
// The files staged before it, from earlier up to staged, are the patch's others.
unsigned long stageEntry(const wchar_t* patchFolder, const wchar_t* installFolder, const EntryNames* entry,
                         EntryList patch, const ManifestFile* listed, StagedFile* earlier, StagedFile* staged);
// Writes a staged file to the disk and closes it (on the elevated road it stays
// open, to be renamed through its handle); the flushes of many files overlap on the disk.
void closeStaged(StagedFile* staged);
// Replaces the installed file with the staged one in one rename; 0, or the error the player is shown.
unsigned long putInPlace(StagedFile* staged);
void discardStaged(StagedFile* staged);

// True when the installation refuses this process the files its copies write:
// a folder only an administrator may change (error 5 on opening an installed
// file for its replacement, or on creating the temporary file beside it).
// Every entry's folder is asked, since one sub-folder may be protected alone.
bool refusesNewFiles(const wchar_t* patchFolder, const wchar_t* installFolder, EntryList patch);
