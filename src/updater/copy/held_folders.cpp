#include "held_folders.h"

#include <winternl.h>

#include "format/path_text.h"

#ifndef FILE_OPEN_REPARSE_POINT
#define FILE_OPEN_REPARSE_POINT 0x00200000
#endif

extern "C" NTSTATUS NTAPI NtCreateFile(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                       ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);

enum { MAX_HELD = 256, FINAL_CAPACITY = 1024 };  // every folder the proof and the entries reach

struct HeldFolder {
    HANDLE handle;
    wchar_t relative[TEXT_CAPACITY];  // "" for the installation itself
    wchar_t final[FINAL_CAPACITY];    // as GetFinalPathNameByHandle gives it
};
static HeldFolder held[MAX_HELD];
static int heldCount;

void holdInstallation(HANDLE folder, const wchar_t* finalPath)
{
    held[0].handle = folder;
    held[0].relative[0] = 0;
    lstrcpynW(held[0].final, finalPath, FINAL_CAPACITY);
    heldCount = 1;
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

static const HeldFolder* findHeld(HANDLE folder)
{
    for (int i = 0; i < heldCount; i++)
        if (held[i].handle == folder)
            return &held[i];
    return &held[0];
}

// What was opened is the very name asked for in its folder. On Windows a link
// opened as itself shows its reparse point. The final path's comparison is
// there for Wine, whose NtCreateFile follows a Unix link and shows no reparse
// point: the handle's final path is then the link's target. final receives it.
static bool isWhereAsked(HANDLE opened, const HeldFolder* folder, const wchar_t* name, int nameLength, wchar_t* final)
{
    FILE_ATTRIBUTE_TAG_INFO tag;
    DWORD length = GetFinalPathNameByHandleW(opened, final, FINAL_CAPACITY, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    int base = lstrlenW(folder->final);
    return GetFileInformationByHandleEx(opened, FileAttributeTagInfo, &tag, sizeof tag) &&
           !(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && length > 0 && length < FINAL_CAPACITY &&
           CompareStringOrdinal(final, base, folder->final, -1, TRUE) == CSTR_EQUAL && final[base] == L'\\' &&
           CompareStringOrdinal(final + base + 1, -1, name, nameLength, TRUE) == CSTR_EQUAL;
}

// Opens name below folder as itself, never what a link there leads to, and checks it.
static unsigned long openBelow(const HeldFolder* folder, const wchar_t* name, int nameLength, ACCESS_MASK access,
                               ULONG share, ULONG disposition, ULONG options, HANDLE* opened, wchar_t* final)
{
    UNICODE_STRING text = {(USHORT)(nameLength * sizeof(wchar_t)), (USHORT)(nameLength * sizeof(wchar_t)),
                           const_cast<wchar_t*>(name)};
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder->handle, NULL);
    IO_STATUS_BLOCK io;
    NTSTATUS status = NtCreateFile(opened, access | SYNCHRONIZE | FILE_READ_ATTRIBUTES, &attributes, &io, NULL,
                                   FILE_ATTRIBUTE_NORMAL, share, disposition,
                                   options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, NULL, 0);
    if (status < 0)
        return RtlNtStatusToDosError(status);
    if (disposition == FILE_CREATE || isWhereAsked(*opened, folder, name, nameLength, final))
        return 0;  // a new file is no link
    CloseHandle(*opened);
    return ERROR_LINK_REFUSED;
}

unsigned long openHeldFolder(const wchar_t* installedPath, HANDLE* folder, const wchar_t** leaf)
{
    *leaf = installedPath;
    for (const wchar_t* p = installedPath; *p; p++)
        if (*p == L'\\')
            *leaf = p + 1;
    int folderLength = (int)(*leaf - installedPath) - (*leaf > installedPath);
    const HeldFolder* parent = &held[0];
    // Each folder on the way, from the installation down: held already, or opened below the last.
    for (int end = 0; end <= folderLength; end++) {
        if (end < folderLength && installedPath[end] != L'\\')
            continue;
        const HeldFolder* found = nullptr;
        for (int i = 0; i < heldCount && !found; i++)
            if (CompareStringOrdinal(held[i].relative, -1, installedPath, end, TRUE) == CSTR_EQUAL)
                found = &held[i];
        if (!found) {
            if (heldCount == MAX_HELD)
                return ERROR_TOO_MANY_OPEN_FILES;
            HeldFolder* next = &held[heldCount];
            int start = lstrlenW(parent->relative);
            start += start > 0;
            unsigned long error = openBelow(parent, installedPath + start, end - start, FILE_LIST_DIRECTORY | FILE_TRAVERSE,
                                            HELD_FOLDER_SHARING, FILE_OPEN, FILE_DIRECTORY_FILE, &next->handle, next->final);
            if (error != 0)
                return error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error;
            lstrcpynW(next->relative, installedPath, end + 1);
            found = &held[heldCount++];
        }
        parent = found;
    }
    *folder = parent->handle;
    return 0;
}

unsigned long openInFolder(HANDLE folder, const wchar_t* name, ACCESS_MASK access, ULONG share, ULONG disposition,
                           HANDLE* file)
{
    static wchar_t final[FINAL_CAPACITY];  // only compared
    return openBelow(findHeld(folder), name, lstrlenW(name), access, share, disposition, FILE_NON_DIRECTORY_FILE, file,
                     final);
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
