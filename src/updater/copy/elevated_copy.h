#pragma once
#include <windows.h>

#include "copy_outcome.h"

// What became of the copy with administrator rights: the player declined the
// prompt or it could not be shown (the player is told), the copy-only process
// refused before any copy (it told the player why), or it copied.
enum ElevatedCopy { ELEVATION_DECLINED, ELEVATED_COPY_REFUSED, ELEVATED_COPY_RAN };

// Starts this program again with administrator rights, through the shell, to
// copy the patch in its folder into installFolder and nothing else, and waits
// for it. Only the copy is elevated: the record, the cleanup and the launch
// stay with the player's own process and account. A copy that reports nothing
// (a crash) counts as none of entryCount copied.
ElevatedCopy copyAsAdministrator(HINSTANCE instance, const wchar_t* programFolder, const wchar_t* installFolder,
                                 int entryCount, CopyOutcome* outcome);
