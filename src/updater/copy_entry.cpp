#include "copy_entry.h"

#include <windows.h>
#include <string.h>

#include "same_file.h"

unsigned long copyEntry(const wchar_t* patchFolder, const wchar_t* installFolder, const EntryNames* entry)
{
    wchar_t source[TEXT_CAPACITY];
    wchar_t destination[TEXT_CAPACITY];
    if (!composePath(source, patchFolder, entry->sourceName) ||
        !composePath(destination, installFolder, entry->targetPath))
        return ERROR_FILENAME_EXCED_RANGE;
    if (!staysInsideFolder(entry->targetPath))
        return ERROR_BAD_PATHNAME;
    WIN32_FILE_ATTRIBUTE_DATA found, existing;
    if (!GetFileAttributesExW(source, GetFileExInfoStandard, &found))
        return GetLastError();
    if (GetFileAttributesExW(destination, GetFileExInfoStandard, &existing)) {
        // A patch unpacked into the installation: the file is already in place.
        // One file shows the same size, attributes and times under any name.
        if (memcmp(&found, &existing, sizeof found) == 0 && haveSameIdentity(source, destination))
            return 0;
        // CopyFile refuses a read-only destination on Windows; Wine running as
        // root would overwrite it, so the check is made here too.
        if ((existing.dwFileAttributes & FILE_ATTRIBUTE_READONLY) &&
            !(existing.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return ERROR_ACCESS_DENIED;
    }
    return CopyFileW(source, destination, FALSE) ? 0 : GetLastError();
}
