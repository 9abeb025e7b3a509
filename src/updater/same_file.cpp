#include "same_file.h"

// FILE_ID_INFO is declared for Windows 8 and later; older systems take the fallback below.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0602
#include <windows.h>
#include <string.h>

// The identity of a file: its volume and its index there. FILE_ID_INFO (Windows 8
// and later) reads just that; older systems answer GetFileInformationByHandle.
struct FileIdentity {
    ULONGLONG volume;
    BYTE index[16];
};

static bool identify(const wchar_t* path, FileIdentity* identity)
{
    // No access asked for: only the identity is read, whoever holds the file open.
    HANDLE file = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    memset(identity, 0, sizeof *identity);
    FILE_ID_INFO id;
    BY_HANDLE_FILE_INFORMATION info;
    bool known = GetFileInformationByHandleEx(file, FileIdInfo, &id, sizeof id);
    if (known) {
        identity->volume = id.VolumeSerialNumber;
        memcpy(identity->index, &id.FileId, sizeof identity->index);
    } else if ((known = GetFileInformationByHandle(file, &info))) {
        identity->volume = info.dwVolumeSerialNumber;
        memcpy(identity->index, &info.nFileIndexLow, sizeof info.nFileIndexLow);
        memcpy(identity->index + 4, &info.nFileIndexHigh, sizeof info.nFileIndexHigh);
    }
    CloseHandle(file);
    return known;
}

// One file shows one size, one set of attributes and one set of times under
// any of its names; comparing those first is cheap and spares most identity
// queries, each of which asks the volume for its serial number.
static bool mayBeSameFile(const wchar_t* path, const wchar_t* otherPath)
{
    WIN32_FILE_ATTRIBUTE_DATA one, other;
    return GetFileAttributesExW(path, GetFileExInfoStandard, &one) &&
           GetFileAttributesExW(otherPath, GetFileExInfoStandard, &other) && memcmp(&one, &other, sizeof one) == 0;
}

bool haveSameIdentity(const wchar_t* path, const wchar_t* otherPath)
{
    FileIdentity one, other;
    return identify(path, &one) && identify(otherPath, &other) && memcmp(&one, &other, sizeof one) == 0;
}

bool isSameFile(const wchar_t* path, const wchar_t* otherPath)
{
    return mayBeSameFile(path, otherPath) && haveSameIdentity(path, otherPath);
}

bool identityText(const wchar_t* path, wchar_t* text)
{
    FileIdentity identity;
    if (!identify(path, &identity))
        return false;
    DWORD parts[6];
    memcpy(parts, &identity, sizeof parts);
    wsprintfW(text, L"%08lx%08lx-%08lx%08lx%08lx%08lx", parts[1], parts[0], parts[2], parts[3], parts[4], parts[5]);
    return true;
}
