#pragma once
#include "format/update_script.h"

// Copies one entry of the script from the patch folder into the installation
// folder, under its relative path. Returns 0 when the file is in place,
// otherwise the error number the player is shown.
unsigned long copyEntry(const char* patchFolder, const char* installFolder, const FileEntry* entry);
