#pragma once
#include <windows.h>

// The installation as the elevated road acts on it: the folder it proved,
// held, and every folder and file below it opened relative to its parent's
// handle, never through a link (a junction or a symbolic link, which would send
// an administrator's write wherever its owner likes), and never reopened by its
// path text once judged. Folders are held without FILE_SHARE_DELETE until
// releaseHeldFolders, so that no other program can rename, remove or replace
// them meanwhile. FILE_SHARE_WRITE stays: a rename opens its target's folder for
// writing (Microsoft's "Set File Information Processing"), which a folder held
// without it would refuse; and a reparse point set on a held folder afterwards
// cannot redirect what is opened relative to its handle.
enum { HELD_FOLDER_SHARING = FILE_SHARE_READ | FILE_SHARE_WRITE };

// ERROR_REPARSE_POINT_ENCOUNTERED, which MinGW's headers lack: a link on the way.
enum { ERROR_LINK_REFUSED = 4395 };

// Starts with the installation folder, opened and judged by the caller, which
// hands it over (it is closed with the others); finalPath is its final path.
void holdInstallation(HANDLE folder, const wchar_t* finalPath);
bool holdsInstallation();

// The folder that holds installedPath (relative to the installation,
// backslashes), opened and held; leaf receives where the file's own name
// begins. 0, ERROR_PATH_NOT_FOUND, ERROR_LINK_REFUSED or the system's error.
unsigned long openHeldFolder(const wchar_t* installedPath, HANDLE* folder, const wchar_t** leaf);

// A file in a held folder, never through a link: NtCreateFile's disposition
// (FILE_OPEN, FILE_CREATE) and options; 0 or the error number.
unsigned long openInFolder(HANDLE folder, const wchar_t* name, ACCESS_MASK access, ULONG share, ULONG disposition,
                           HANDLE* file);

// Renames an open file to name in folder, replacing what is there, through the handles.
unsigned long renameInFolder(HANDLE file, HANDLE folder, const wchar_t* name);

void releaseHeldFolders();
