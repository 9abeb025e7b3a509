#include "same_file.h"

#include <windows.h>

static bool identify(const char* path, BY_HANDLE_FILE_INFORMATION* info)
{
    // No access asked for: only the identity is read, whoever holds the file open.
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool known = GetFileInformationByHandle(file, info) != FALSE;
    CloseHandle(file);
    return known;
}

bool isSameFile(const char* path, const char* otherPath)
{
    BY_HANDLE_FILE_INFORMATION one, other;
    return identify(path, &one) && identify(otherPath, &other) &&
           one.dwVolumeSerialNumber == other.dwVolumeSerialNumber && one.nFileIndexHigh == other.nFileIndexHigh &&
           one.nFileIndexLow == other.nFileIndexLow;
}
