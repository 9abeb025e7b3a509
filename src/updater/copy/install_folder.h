#pragma once
#include <windows.h>

// Whether a folder may be written with administrator rights: the updater holds
// the vendor's key, and the folder is this game's installation, at a version
// the patch applies to. Judged on the folder opened
// as a handle (its final path), never on the text: a drive's root, the Windows
// folder and all below it, a Program Files folder itself, the profiles folder
// or a profile's root, a network or device path and a drive that is not fixed
// are refused; then every file the manifest's "old" lines name is read below
// that handle, never through a link, and must be one of its listed versions
// (format/installation_proof.h). On success the folder is held (held_folders.h)
// and final receives its final path, which the copy then uses; otherwise the
// player has been told why, naming the first file that differs.
bool proveGameInstallation(const wchar_t* folder, wchar_t* final);
