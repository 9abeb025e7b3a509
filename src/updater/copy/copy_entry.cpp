#include "copy_entry.h"

#include <windows.h>
#include <string.h>

#include "delta_entry.h"
#include "format/entry_rule.h"
#include "held_folders.h"
#include "patch_crypto.h"
#include "../same_file.h"

enum { MAX_NAME_LENGTH = 255 };

// The facts of one entry as Windows shows them, judged by the rule both programs share.
static unsigned long composeAndInspect(const wchar_t* patchFolder, const wchar_t* installFolder,
                                       const EntryNames* entry, wchar_t* source, wchar_t* destination,
                                       EntryForecast* forecast)
{
    EntryFacts facts = {};
    WIN32_FILE_ATTRIBUTE_DATA found = {}, existing;
    // A file shipped as deltas lies in the patch folder only as them; it stages its whole size.
    bool byDelta = entry->listed && entry->listed->onlyDeltas;
    facts.pathFits = composePath(source, patchFolder, entry->sourceName) &&
                     composePath(destination, installFolder, entry->targetPath);
    facts.staysInside = staysInsideFolder(entry->targetPath);
    if (facts.pathFits && facts.staysInside && !byDelta && !GetFileAttributesExW(source, GetFileExInfoStandard, &found))
        facts.sourceError = GetLastError();
    if (facts.pathFits && facts.staysInside && facts.sourceError == 0) {
        facts.sourceBytes = byDelta ? entry->listed->size : (ULONGLONG)found.nFileSizeHigh << 32 | found.nFileSizeLow;
        facts.destinationExists = GetFileAttributesExW(destination, GetFileExInfoStandard, &existing);
    }
    if (facts.destinationExists) {
        // One file shows the same size, attributes and times under any name.
        facts.sameFile = memcmp(&found, &existing, sizeof found) == 0 && haveSameIdentity(source, destination);
        facts.destinationIsFolder = existing.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
        facts.destinationReadOnlyOrHidden = existing.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    }
    EntryVerdict verdict = judgeEntry(facts);
    forecast->inPlace = verdict.action == ENTRY_IN_PLACE;
    forecast->stagedBytes = verdict.stagedBytes;
    forecast->replacesLink = verdict.action == ENTRY_REPLACES && (existing.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    return forecast->error = verdict.error;
}

void forecastEntry(const wchar_t* patchFolder, const wchar_t* installFolder, const EntryNames* entry,
                   EntryForecast* forecast)
{
    wchar_t source[TEXT_CAPACITY], destination[TEXT_CAPACITY];
    composeAndInspect(patchFolder, installFolder, entry, source, destination, forecast);
}

// "\\?\" before a full path: no length limit, no further parsing.
static bool writeLongForm(const wchar_t* fullPath, wchar_t* longForm)
{
    bool prefixed = fullPath[0] == L'\\' && fullPath[1] == L'\\' && (fullPath[2] == L'?' || fullPath[2] == L'.');
    bool network = !prefixed && fullPath[0] == L'\\' && fullPath[1] == L'\\';
    const wchar_t* prefix = prefixed ? L"" : network ? L"\\\\?\\UNC" : L"\\\\?\\";
    const wchar_t* rest = network ? fullPath + 1 : fullPath;
    if (lstrlenW(prefix) + lstrlenW(rest) >= FULL_PATH_CAPACITY)
        return false;
    lstrcpyW(longForm, prefix);
    lstrcatW(longForm, rest);
    return true;
}

// The file a copy writes, in the "\\?\" form: a symbolic link as its final
// path, so that it stays a link and its target receives the file, as CopyFile
// writing through it would; any other as its full path. Opening an installed
// file for deletion, as the replace will, tells at once when another program
// holds it (error 32), before anything is copied.
static unsigned long resolveTarget(const wchar_t* destination, bool followLink, wchar_t* target)
{
    wchar_t path[FULL_PATH_CAPACITY];
    HANDLE file = CreateFileW(destination, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_NOT_FOUND)
        return GetLastError();
    DWORD length = file != INVALID_HANDLE_VALUE && followLink
                       ? GetFinalPathNameByHandleW(file, path, FULL_PATH_CAPACITY, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS)
                       : GetFullPathNameW(destination, FULL_PATH_CAPACITY, path, NULL);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (length == 0 || length >= FULL_PATH_CAPACITY || !writeLongForm(path, target))
        return ERROR_FILENAME_EXCED_RANGE;
    return 0;
}

static bool isPatchName(const wchar_t* name, EntryList patch)
{
    for (int i = 0; i < patch.count; i++)
        if (CompareStringOrdinal(name, -1, patch.entries[i].sourceName, -1, TRUE) == CSTR_EQUAL)
            return true;
    return false;
}

// Beside the target, named for it ("game.exe.updating"), so that a copy cut
// off leaves a file the player recognises and the next run of the patch
// overwrites; numbered when the patch itself installs that name. A name near
// the 255-character limit is shortened to keep the suffix.
static const wchar_t* nameOf(const wchar_t* path)
{
    const wchar_t* name = path;
    for (const wchar_t* p = path; *p; p++)
        if (*p == L'\\')
            name = p + 1;
    return name;
}

static void nameTemporary(const wchar_t* target, EntryList patch, wchar_t* temporary)
{
    const wchar_t* name = nameOf(target);
    wchar_t suffix[16], tempName[MAX_NAME_LENGTH + 1];
    for (int n = 0;; n++) {
        wsprintfW(suffix, n ? L".updating%d" : L".updating", n);
        int kept = lstrlenW(name);
        if (kept > MAX_NAME_LENGTH - lstrlenW(suffix))
            kept = MAX_NAME_LENGTH - lstrlenW(suffix);
        lstrcpynW(tempName, name, kept + 1);
        lstrcatW(tempName, suffix);
        if (!isPatchName(tempName, patch))  // 50 entries can take at most 50 of these names
            break;
    }
    lstrcpynW(temporary, target, (int)(name - target) + 1);
    lstrcatW(temporary, tempName);
}

static void discard(const wchar_t* temporary)
{
    SetFileAttributesW(temporary, FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(temporary);
}

// A file held for a moment (a virus scanner, the search indexer, right after
// the patch was unpacked) is tried again for about two seconds.
static bool heldForAMoment(DWORD error, int* tries)
{
    if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) || ++*tries > 20)
        return false;
    Sleep(100);
    return true;
}

// Where an entry's copy goes: the patch file, the file it replaces and the
// temporary file beside it. Returns the error the copy would fail with;
// toWrite tells that the entry passed every rule and has a file to write, so
// that an error is the installation's answer to the write.
struct Placement {
    wchar_t source[TEXT_CAPACITY];
    wchar_t target[FULL_PATH_CAPACITY];
    wchar_t temporary[FULL_PATH_CAPACITY];
    bool toWrite;
    bool inPlace;
    HANDLE folder;  // the held folder, on the elevated road
};

// Closes a file the process opened with DELETE access, and removes it.
static void deleteOpenFile(HANDLE file)
{
    FILE_DISPOSITION_INFO remove = {TRUE};
    SetFileInformationByHandle(file, FileDispositionInfo, &remove, sizeof remove);
    CloseHandle(file);
}

// On the elevated road the installed file and a temporary file left by a run
// cut off are looked at in their held folder, never through a link.
static unsigned long placeInHeldFolder(const EntryNames* entry, Placement* place)
{
    const wchar_t* leaf;
    unsigned long error = openHeldFolder(entry->targetPath, &place->folder, &leaf);
    const wchar_t* names[] = {leaf, nameOf(place->temporary)};
    for (const wchar_t* name : names) {
        HANDLE existing;
        const ULONG anyone = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        if (error == 0 && (error = openInFolder(place->folder, name, DELETE, anyone, FILE_OPEN, &existing)) == 0) {
            if (name != leaf)
                deleteOpenFile(existing);
            else
                CloseHandle(existing);
        }
        error = error == ERROR_FILE_NOT_FOUND ? 0 : error;
    }
    return error;
}

static unsigned long placeEntry(const wchar_t* patchFolder, const wchar_t* installFolder, const EntryNames* entry,
                                EntryList patch, Placement* place)
{
    wchar_t destination[TEXT_CAPACITY];
    EntryForecast forecast;
    place->toWrite = false;
    place->folder = NULL;
    unsigned long error = composeAndInspect(patchFolder, installFolder, entry, place->source, destination, &forecast);
    place->inPlace = error == 0 && forecast.inPlace;
    if (error != 0 || place->inPlace)
        return error;
    place->toWrite = true;
    error = holdsInstallation() ? (writeLongForm(destination, place->target) ? 0 : ERROR_FILENAME_EXCED_RANGE)
                                : resolveTarget(destination, forecast.replacesLink, place->target);
    if (error == 0)
        nameTemporary(place->target, patch, place->temporary);
    return error == 0 && holdsInstallation() ? placeInHeldFolder(entry, place) : error;
}

static unsigned long createTemporary(StagedFile* staged)
{
    if (staged->folder)
        return openInFolder(staged->folder, nameOf(staged->temporary), GENERIC_WRITE | DELETE, 0, FILE_CREATE, &staged->file);
    discard(staged->temporary);  // left by a run that was cut off
    staged->file = CreateFileW(staged->temporary, GENERIC_WRITE | DELETE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    return staged->file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
}

// A file shipped as a delta: decoded from the file it replaces, read through a handle that keeps
// writers out, into the temporary file. The new file takes the time it is written at: its staged
// file's attributes and time, never set for it, stay zero, which changes neither.
static unsigned long writeFromDelta(const wchar_t* patchFolder, const EntryNames* entry, StagedFile* staged)
{
    HANDLE installed = INVALID_HANDLE_VALUE;
    unsigned long error = 0;
    if (staged->folder)
        error = openInFolder(staged->folder, nameOf(staged->target), GENERIC_READ, FILE_SHARE_READ, FILE_OPEN, &installed);
    else if ((installed = CreateFileW(staged->target, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL)) ==
             INVALID_HANDLE_VALUE)
        error = GetLastError();
    if (error == 0)
        error = createTemporary(staged);
    if (error == 0) {
        error = decodeDelta(patchFolder, entry, installed, staged->file, &staged->bytes);
        if (error != 0)
            deleteOpenFile(staged->file);
    }
    if (installed != INVALID_HANDLE_VALUE)
        CloseHandle(installed);
    staged->staged = error == 0;
    return error;
}

// The patch file's bytes, read once through a handle that keeps writers out,
// are written to a new temporary file and hashed on the way: what is put in
// place is exactly what was hashed, whatever happens to the patch folder
// meanwhile. Only the bytes are copied, so no download mark (Zone.Identifier
// stream) comes along; the attributes and time follow when the file is closed.
// A file already in place (a patch unpacked into the installation) is only read.
static unsigned long writeTemporary(const wchar_t* source, const ManifestFile* listed, StagedFile* staged)
{
    static char buffers[2][1 << 20];
    HANDLE from = CreateFileW(source, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (from == INVALID_HANDLE_VALUE)
        return GetLastError();
    BY_HANDLE_FILE_INFORMATION info;
    GetFileInformationByHandle(from, &info);
    staged->attributes = info.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    staged->lastWrite = info.ftLastWriteTime;
    bool toWrite = staged->temporary[0] != 0;
    DWORD error = 0;
    if (!toWrite)
        staged->file = INVALID_HANDLE_VALUE;
    else
        error = createTemporary(staged);
    Sha256 hash = {};
    if (listed)
        beginSha256(&hash);
    unsigned long long size = 0;
    // Each piece is hashed on the second thread while it is written, and the next read into the other buffer.
    for (DWORD got = 0, piece = 0; error == 0; size += got, piece ^= 1) {
        char* buffer = buffers[piece];
        DWORD written = 0;
        if (!ReadFile(from, buffer, sizeof buffers[0], &got, NULL))
            error = GetLastError();
        else if (got == 0)
            break;
        if (listed && got > 0)
            hashInBackground(&hash, buffer, got);
        // A write cut short with no error (Wine, when the disk fills) is a full disk all the same.
        if (error != 0 || !toWrite)
            continue;
        else if (!WriteFile(staged->file, buffer, got, &written, NULL))
            error = GetLastError();
        else if (written != got)
            error = ERROR_DISK_FULL;
    }
    waitForHash();
    CloseHandle(from);
    uint8_t digest[SHA256_BYTES];
    bool hashed = finishSha256(&hash, digest);
    if (error == 0 && listed &&
        !(hashed && size == listed->size && memcmp(digest, listed->sha256, SHA256_BYTES) == 0))
        error = ERROR_PATCH_DAMAGED;
    if (error != 0 && toWrite && staged->file != INVALID_HANDLE_VALUE) {
        deleteOpenFile(staged->file);
    }
    staged->staged = error == 0 && toWrite;
    staged->bytes = size;
    return error;
}

unsigned long stageEntry(const wchar_t* patchFolder, const wchar_t* installFolder, const EntryNames* entry,
                         EntryList patch, const ManifestFile* listed, StagedFile* earlier, StagedFile* staged)
{
    Placement place;
    unsigned long error;
    int tries = 0;
    staged->staged = false;
    staged->bytes = 0;
    do {
        error = placeEntry(patchFolder, installFolder, entry, patch, &place);
    } while (heldForAMoment(error, &tries));
    staged->folder = place.folder;
    staged->temporary[0] = 0;
    if (error != 0 || (!place.toWrite && !(place.inPlace && listed)))
        return error;
    if (!place.toWrite)
        return writeTemporary(place.source, listed, staged);
    // A file that an earlier entry staged (the run entry is often listed twice) is staged anew.
    for (StagedFile* other = earlier; other < staged; other++)
        if (other->staged && CompareStringOrdinal(other->target, -1, place.target, -1, TRUE) == CSTR_EQUAL)
            discardStaged(other);
    lstrcpyW(staged->target, place.target);
    lstrcpyW(staged->temporary, place.temporary);
    if (listed && listed->onlyDeltas)  // no delta: the installed file already is the new one
        return entry->delta ? writeFromDelta(patchFolder, entry, staged) : 0;
    return writeTemporary(place.source, listed, staged);
}

// The staged file reaches the disk, with the patch file's attributes and time, as CopyFile leaves them.
void closeStaged(StagedFile* staged)
{
    if (!staged->staged || staged->file == INVALID_HANDLE_VALUE)
        return;
    FlushFileBuffers(staged->file);
    FILE_BASIC_INFO basic = {};
    basic.LastWriteTime.LowPart = staged->lastWrite.dwLowDateTime;
    basic.LastWriteTime.HighPart = (LONG)staged->lastWrite.dwHighDateTime;
    basic.FileAttributes = staged->attributes;
    SetFileInformationByHandle(staged->file, FileBasicInfo, &basic, sizeof basic);
    if (staged->folder)
        return;
    CloseHandle(staged->file);
    staged->file = INVALID_HANDLE_VALUE;
}

// On the elevated road: the staged file, still open, renamed through its handle in its held folder.
static unsigned long renameHeld(StagedFile* staged)
{
    unsigned long error;
    int tries = 0;
    do
        error = renameInFolder(staged->file, staged->folder, nameOf(staged->target));
    while (heldForAMoment(error, &tries));
    if (error != 0)
        deleteOpenFile(staged->file);
    else
        CloseHandle(staged->file);
    staged->file = INVALID_HANDLE_VALUE;
    return error;
}

// One rename: the old file is there until it is replaced whole. A file the
// game holds (it started after the staging) is told as error 32, once the
// usual moment's wait has passed.
unsigned long putInPlace(StagedFile* staged)
{
    if (!staged->staged)
        return 0;
    staged->staged = false;
    if (staged->folder)
        return renameHeld(staged);
    unsigned long error;
    int tries = 0;
    do {
        error = 0;
        HANDLE held = CreateFileW(staged->target, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                  OPEN_EXISTING, 0, NULL);
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        else if (GetLastError() != ERROR_FILE_NOT_FOUND)
            error = GetLastError();
        if (error == 0 && !MoveFileExW(staged->temporary, staged->target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            error = GetLastError();
    } while (heldForAMoment(error, &tries));
    if (error != 0)
        discard(staged->temporary);
    return error;
}

void discardStaged(StagedFile* staged)
{
    if (!staged->staged)
        return;
    if (staged->folder && staged->file != INVALID_HANDLE_VALUE) {
        deleteOpenFile(staged->file);
        staged->file = INVALID_HANDLE_VALUE;
    } else {
        closeStaged(staged);
        discard(staged->temporary);
    }
    staged->staged = false;
}

bool refusesNewFiles(const wchar_t* patchFolder, const wchar_t* installFolder, EntryList patch)
{
    wchar_t probed[FULL_PATH_CAPACITY] = L"";  // the folder last asked, so that each is asked once in a row
    for (int i = 0; i < patch.count; i++) {
        Placement place;
        unsigned long error = placeEntry(patchFolder, installFolder, &patch.entries[i], patch, &place);
        if (!place.toWrite)
            continue;
        if (error == 0) {
            int folderLength = lstrlenW(place.temporary) - lstrlenW(nameOf(place.temporary));
            if (CompareStringOrdinal(place.temporary, folderLength, probed, -1, TRUE) == CSTR_EQUAL)
                continue;
            lstrcpynW(probed, place.temporary, folderLength + 1);
            discard(place.temporary);
            HANDLE file = CreateFileW(place.temporary, GENERIC_WRITE, 0, NULL, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, NULL);
            error = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
            if (file != INVALID_HANDLE_VALUE)
                CloseHandle(file);
        }
        if (error == ERROR_ACCESS_DENIED)
            return true;
    }
    return false;
}
