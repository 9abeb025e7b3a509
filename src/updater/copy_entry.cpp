#include "copy_entry.h"

#include <windows.h>
#include <string.h>

#include "same_file.h"

unsigned long copyEntry(const char* patchFolder, const char* installFolder, const FileEntry* entry)
{
    char source[TEXT_CAPACITY];
    char destination[TEXT_CAPACITY];
    if (!composePath(source, patchFolder, entry->sourceName) ||
        !composePath(destination, installFolder, entry->targetPath))
        return ERROR_FILENAME_EXCED_RANGE;
    if (!staysInsideFolder(entry->targetPath))
        return ERROR_BAD_PATHNAME;
    WIN32_FILE_ATTRIBUTE_DATA found, existing;
    if (!GetFileAttributesExA(source, GetFileExInfoStandard, &found))
        return GetLastError();
    if (GetFileAttributesExA(destination, GetFileExInfoStandard, &existing)) {
        // A patch unpacked into the installation: the file is already in place.
        // One file shows the same size, attributes and times under any name.
        if (memcmp(&found, &existing, sizeof found) == 0 && haveSameIdentity(source, destination))
            return 0;
        // CopyFileA refuses a read-only destination on Windows; Wine running as
        // root would overwrite it, so the check is made here too.
        if ((existing.dwFileAttributes & FILE_ATTRIBUTE_READONLY) &&
            !(existing.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return ERROR_ACCESS_DENIED;
    }
    return CopyFileA(source, destination, FALSE) ? 0 : GetLastError();
}
