#include "held_folders.h"

#include <winternl.h>

#include "format/path_text.h"

#ifndef FILE_OPEN_REPARSE_POINT
#define FILE_OPEN_REPARSE_POINT 0x00200000
#endif

extern "C" NTSTATUS NTAPI NtCreateFile(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                       ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);

enum { MAX_HELD = 64, FINAL_CAPACITY = 1024 };

struct HeldFolder {
    HANDLE handle;
    wchar_t relative[TEXT_CAPACITY];  // "" for the installation itself
};
static HeldFolder held[MAX_HELD];
static int heldCount;
static wchar_t installationFinal[FINAL_CAPACITY];

void holdInstallation(HANDLE folder, const wchar_t* finalPath)
{
    held[0].handle = folder;
    held[0].relative[0] = 0;
    heldCount = 1;
    lstrcpynW(installationFinal, finalPath, FINAL_CAPACITY);
}

bool holdsInstallation()
{
    return heldCount > 0;
}

void releaseHeldFolders()
{
    for (; heldCount > 0; heldCount--)
        CloseHandle(held[heldCount - 1].handle);
}

// What was opened is the very name asked for below the installation: a link,
// on Windows opened as itself, shows its reparse point; Wine follows it, so
// there it shows another final path.
static bool isWhereAsked(HANDLE opened, const wchar_t* relative)
{
    FILE_ATTRIBUTE_TAG_INFO tag;
    wchar_t path[FINAL_CAPACITY];
    if (!GetFileInformationByHandleEx(opened, FileAttributeTagInfo, &tag, sizeof tag) ||
        (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    DWORD length = GetFinalPathNameByHandleW(opened, path, FINAL_CAPACITY, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    int base = lstrlenW(installationFinal);
    return length > 0 && length < FINAL_CAPACITY &&
           CompareStringOrdinal(path, base, installationFinal, base, TRUE) == CSTR_EQUAL && path[base] == L'\\' &&
           CompareStringOrdinal(path + base + 1, -1, relative, -1, TRUE) == CSTR_EQUAL;
}

static unsigned long openRelative(HANDLE folder, const wchar_t* name, int nameLength, ACCESS_MASK access, ULONG share,
                                  ULONG disposition, ULONG options, HANDLE* opened)
{
    UNICODE_STRING text = {(USHORT)(nameLength * sizeof(wchar_t)), (USHORT)(nameLength * sizeof(wchar_t)),
                           const_cast<wchar_t*>(name)};
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, NULL);
    IO_STATUS_BLOCK io;
    NTSTATUS status = NtCreateFile(opened, access | SYNCHRONIZE, &attributes, &io, NULL, FILE_ATTRIBUTE_NORMAL, share,
                                   disposition, options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, NULL, 0);
    return status < 0 ? RtlNtStatusToDosError(status) : 0;
}

static const HeldFolder* findHeld(HANDLE folder)
{
    for (int i = 0; i < heldCount; i++)
        if (held[i].handle == folder)
            return &held[i];
    return nullptr;
}

unsigned long openHeldFolder(const wchar_t* installedPath, HANDLE* folder, const wchar_t** leaf)
{
    *leaf = installedPath;
    for (const wchar_t* p = installedPath; *p; p++)
        if (*p == L'\\')
            *leaf = p + 1;
    int folderLength = (int)(*leaf - installedPath) - (*leaf > installedPath);
    *folder = held[0].handle;
    // Each folder on the way, from the installation down: held already, or opened below the last.
    for (int end = 0; end <= folderLength; end++) {
        if (end < folderLength && installedPath[end] != L'\\')
            continue;
        HANDLE found = NULL;
        for (int i = 0; i < heldCount && !found; i++)
            if (CompareStringOrdinal(held[i].relative, -1, installedPath, end, TRUE) == CSTR_EQUAL)
                found = held[i].handle;
        if (!found) {
            if (heldCount == MAX_HELD)
                return ERROR_TOO_MANY_OPEN_FILES;
            int start = lstrlenW(findHeld(*folder)->relative);
            start += start > 0;
            HeldFolder* next = &held[heldCount];
            unsigned long error = openRelative(*folder, installedPath + start, end - start,
                                               FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                                               FILE_SHARE_READ, FILE_OPEN, FILE_DIRECTORY_FILE, &found);
            if (error != 0)
                return error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error;
            lstrcpynW(next->relative, installedPath, end + 1);
            next->handle = found;
            heldCount++;
            if (!isWhereAsked(found, next->relative))
                return ERROR_LINK_REFUSED;
        }
        *folder = found;
    }
    return 0;
}

unsigned long openInFolder(HANDLE folder, const wchar_t* name, ACCESS_MASK access, ULONG share, ULONG disposition,
                           HANDLE* file)
{
    unsigned long error = openRelative(folder, name, lstrlenW(name), access | FILE_READ_ATTRIBUTES, share, disposition,
                                       FILE_NON_DIRECTORY_FILE, file);
    if (error != 0 || disposition == FILE_CREATE)
        return error;  // a new file is no link
    const HeldFolder* where = findHeld(folder);
    wchar_t relative[TEXT_CAPACITY];
    bool inside = where && (where->relative[0] ? composePath(relative, where->relative, name)
                                               : lstrlenW(name) < TEXT_CAPACITY && lstrcpyW(relative, name));
    if (!inside || !isWhereAsked(*file, relative)) {
        CloseHandle(*file);
        return ERROR_LINK_REFUSED;
    }
    return 0;
}

unsigned long renameInFolder(HANDLE file, HANDLE folder, const wchar_t* name)
{
    struct {
        FILE_RENAME_INFO info;
        wchar_t rest[TEXT_CAPACITY];
    } rename = {};
    rename.info.ReplaceIfExists = TRUE;
    rename.info.RootDirectory = folder;
    rename.info.FileNameLength = lstrlenW(name) * sizeof(wchar_t);
    lstrcpynW(rename.info.FileName, name, TEXT_CAPACITY);
    // NtSetInformationFile, as SetFileInformationByHandle passes it on: Wine's kernelbase
    // would make the name a full path first, which the root folder then refuses.
    IO_STATUS_BLOCK io;
    NTSTATUS status = NtSetInformationFile(file, &io, &rename, sizeof rename, (FILE_INFORMATION_CLASS)10);
    return status < 0 ? RtlNtStatusToDosError(status) : 0;
}
