#include "install_folder.h"

#include "format/path_text.h"

static bool sameText(const wchar_t* a, int length, const wchar_t* b)
{
    return CompareStringOrdinal(a, length, b, -1, TRUE) == CSTR_EQUAL;
}

// A folder as HKEY_LOCAL_MACHINE names it, which only an administrator can change.
static bool readMachineFolder(const wchar_t* key, const wchar_t* name, wchar_t* folder)
{
    DWORD size = TEXT_CAPACITY * sizeof(wchar_t);
    folder[0] = 0;
    return RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                        NULL, folder, &size) == ERROR_SUCCESS;
}

// "%SystemDrive%" is taken from the Windows folder, never from the environment, which the player sets.
static void replaceSystemDrive(wchar_t* folder, const wchar_t* windows)
{
    const wchar_t token[] = L"%SystemDrive%";
    int length = lstrlenW(token);
    if (CompareStringOrdinal(folder, length, token, length, TRUE) != CSTR_EQUAL)
        return;
    wchar_t rest[TEXT_CAPACITY];
    lstrcpyW(rest, folder + length);
    lstrcpynW(folder, windows, 3);
    lstrcatW(folder, rest);
}

static bool isRefusedPlace(const wchar_t* folder)
{
    wchar_t windows[TEXT_CAPACITY], place[TEXT_CAPACITY], drive[4] = {folder[0], L':', L'\\', 0};
    int length = lstrlenW(folder), parent = length;
    while (parent > 0 && folder[parent] != L'\\')
        parent--;
    UINT windowsLength = GetSystemWindowsDirectoryW(windows, TEXT_CAPACITY);
    if (length <= 3 || GetDriveTypeW(drive) != DRIVE_FIXED || windowsLength == 0 || windowsLength >= TEXT_CAPACITY)
        return true;
    if (sameText(folder, (int)windowsLength, windows) && (folder[windowsLength] == 0 || folder[windowsLength] == L'\\'))
        return true;
    const wchar_t* programFiles[] = {L"ProgramFilesDir", L"ProgramFilesDir (x86)", L"ProgramW6432Dir"};
    for (const wchar_t* name : programFiles)
        if (readMachineFolder(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", name, place) && sameText(folder, -1, place))
            return true;
    if (readMachineFolder(L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", L"ProfilesDirectory", place)) {
        replaceSystemDrive(place, windows);
        if (sameText(folder, -1, place) || sameText(folder, parent, place))
            return true;
    }
    return false;
}

// The installed file an entry replaces is there, as a file.
static bool holdsFile(const wchar_t* folder, const EntryNames* entry)
{
    wchar_t path[TEXT_CAPACITY];
    DWORD attributes = composePath(path, folder, entry->targetPath) ? GetFileAttributesW(path) : INVALID_FILE_ATTRIBUTES;
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool isGameInstallation(const wchar_t* folder, EntryList patch, const EntryNames* runEntry, wchar_t* final)
{
    // Only "X:\..." as typed: a network (UNC) or device path ("\\?\", "\\.\") is never opened,
    // so that no administrator's credentials go to another machine.
    bool driveLetter = ((folder[0] | 0x20) >= L'a' && (folder[0] | 0x20) <= L'z') && folder[1] == L':' && folder[2] == L'\\';
    if (!driveLetter)
        return false;
    HANDLE opened = CreateFileW(folder, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, NULL);
    wchar_t path[FULL_PATH_CAPACITY];
    BY_HANDLE_FILE_INFORMATION info;
    DWORD length = opened == INVALID_HANDLE_VALUE ? 0
                   : !GetFileInformationByHandle(opened, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                       ? 0
                       : GetFinalPathNameByHandleW(opened, path, FULL_PATH_CAPACITY, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    // The final path is "\\?\X:\...", or "\\?\UNC\..." for a network folder reached through a link.
    bool judged = length > 4 && length < TEXT_CAPACITY + 4 && path[5] == L':' && path[6] == L'\\';
    if (judged) {
        lstrcpyW(final, path + 4);
        judged = !isRefusedPlace(final);
    }
    bool holdsProduct = false;
    for (int i = 0; judged && i < patch.count && !holdsProduct; i++)
        holdsProduct = (!runEntry || &patch.entries[i] == runEntry) && holdsFile(final, &patch.entries[i]);
    if (!holdsProduct && opened != INVALID_HANDLE_VALUE)
        CloseHandle(opened);
    return holdsProduct;
}
