#pragma once
#include <windows.h>
#include <stdint.h>

#include "copy/copy_entry.h"
#include "format/patch_manifest.h"
#include "format/update_script.h"

// The one state of a patch run, zeroed at start and shared by every stage.
// Names are wide, so that a folder named in any language works; the script
// stays the 8-bit text it was read as, and its names are decoded beside it.
struct RunState {
    HINSTANCE instance;
    bool elevated;  // administrator rights, however started: the elevated road (install_folder.h)
    wchar_t programFolder[TEXT_CAPACITY];
    wchar_t installFolder[TEXT_CAPACITY];
    wchar_t recordFolder[TEXT_CAPACITY];  // installFolder as the record gave it, before the path dialog
    UpdateScript script;
    wchar_t registryKey[TEXT_CAPACITY];   // the script's texts in the system's ANSI code page
    EntryNames entries[MAX_FILE_ENTRIES];
    wchar_t runCommand[TEXT_CAPACITY];
    int32_t installedVersion;
    unsigned long long scriptSize;  // "update.txt" as it was read, for its manifest
    uint8_t scriptDigest[SHA256_BYTES];
};

extern RunState runState;

// The patch folder's own files beside the patch files, named once.
extern const wchar_t SCRIPT_FILE[];    // "update.txt"
extern const wchar_t MANIFEST_FILE[];  // "update.manifest"

int runUpdate(HINSTANCE instance);
int readUpdateScript();         // 0, or -1 once the player is told why not
int readUpdateScriptQuietly();  // the same, telling no one
