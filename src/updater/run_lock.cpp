#include "run_lock.h"

#include "same_file.h"

// A named mutex, named for the folder's identity rather than its spelling, so
// that "C:\Patch" and "c:\patch\." are one folder. Windows frees it when the
// process ends, however it ends.
bool lockPatchFolder(const wchar_t* folder, HANDLE* lock)
{
    wchar_t name[96] = L"Local\\SorvaneOnlineUpdater-";
    *lock = NULL;
    if (!identityText(folder, name + lstrlenW(name)))
        return true;
    *lock = CreateMutexW(NULL, FALSE, name);
    if (*lock && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(*lock);
        *lock = NULL;
        return false;
    }
    return true;
}
