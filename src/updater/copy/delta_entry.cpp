#include "delta_entry.h"

#include <string.h>

#include "format/vcdiff.h"
#include "held_folders.h"
#include "patch_crypto.h"
#include "patch_trust.h"
#include "../ui/notice.h"

// The installed file an entry replaces, read-only, writers kept out while it is open: on the
// elevated road below the held installation, never through a link.
static HANDLE openInstalled(const wchar_t* installFolder, const EntryNames* entry)
{
    wchar_t path[TEXT_CAPACITY];
    const wchar_t* leaf;
    HANDLE folder, file = INVALID_HANDLE_VALUE;
    if (!holdsInstallation())
        return composePath(path, installFolder, entry->targetPath)
                   ? CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL)
                   : INVALID_HANDLE_VALUE;
    if (openHeldFolder(entry->targetPath, &folder, &leaf) == 0)
        openInFolder(folder, leaf, GENERIC_READ, FILE_SHARE_READ, FILE_OPEN, &file);
    return file;
}

static bool sameVersion(uint64_t size, const uint8_t* sha256, uint64_t listedSize, const uint8_t* listedSha256)
{
    return size == listedSize && memcmp(sha256, listedSha256, SHA256_BYTES) == 0;
}

bool deltaFileWideName(const ManifestDelta* delta, wchar_t name[TEXT_CAPACITY])
{
    char narrow[TEXT_CAPACITY];
    return deltaFileName(narrow, delta->name, delta->baseSha256) &&
           MultiByteToWideChar(CP_ACP, 0, narrow, -1, name, TEXT_CAPACITY) > 0;
}

bool findDeltaBases(const wchar_t* installFolder, EntryNames* entries, int count)
{
    const PatchManifest* manifest = verifiedManifest();
    for (int i = 0; i < count; i++) {
        EntryNames* entry = &entries[i];
        if (!entry->listed || !entry->listed->onlyDeltas)
            continue;
        uint64_t size = 0;
        uint8_t sha256[SHA256_BYTES];
        HANDLE file = openInstalled(installFolder, entry);
        bool read = file != INVALID_HANDLE_VALUE && hashOpenFile(file, &size, sha256);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        bool found = read && sameVersion(size, sha256, entry->listed->size, entry->listed->sha256);
        for (int d = 0; read && !found && d < manifest->deltaCount; d++) {
            const ManifestDelta* delta = &manifest->deltas[d];
            if (sameManifestName(delta->name, entry->listed->name) && sameVersion(size, sha256, delta->baseSize, delta->baseSha256))
                entry->delta = delta, found = true;
        }
        if (!found) {
            showFailure("The game's file %s\\%s differs from every version this update knows, so nothing was "
                        "installed.\nReinstall or repair the game, then run this update again.",
                        installFolder, entry->targetPath);
            return false;
        }
    }
    return true;
}

namespace {

struct DeltaStreams {
    HANDLE delta, installed, temporary;
    Sha256 hash;
    unsigned long long written;
    DWORD writeError;
};


size_t readDelta(void* context, uint8_t* bytes, size_t length)
{
    DWORD got = 0;
    ReadFile(static_cast<DeltaStreams*>(context)->delta, bytes, (DWORD)length, &got, NULL);
    return got;
}

// Copies come in their hundreds of thousands, scattered over the installed file, which is read a
// block of 64 KiB at a time into one of 16 slots kept by the block's number. (Under Wine a read at
// an offset given with OVERLAPPED costs many times a seek and a read.)
enum { BLOCK_BITS = 16, SLOTS = 16 };
uint8_t sourceCache[SLOTS][1 << BLOCK_BITS];
uint64_t cachedBlock[SLOTS];  // the block each slot holds, plus one (0: none)
DWORD cachedBytes[SLOTS];

bool readSource(void* context, uint64_t offset, uint8_t* bytes, size_t length)
{
    HANDLE installed = static_cast<DeltaStreams*>(context)->installed;
    while (length > 0) {
        uint64_t block = offset >> BLOCK_BITS;
        int slot = (int)(block % SLOTS);
        DWORD into = (DWORD)offset & ((1 << BLOCK_BITS) - 1);
        if (cachedBlock[slot] != block + 1) {
            LARGE_INTEGER at;
            at.QuadPart = (LONGLONG)(block << BLOCK_BITS);
            if (!SetFilePointerEx(installed, at, NULL, FILE_BEGIN) ||
                !ReadFile(installed, sourceCache[slot], sizeof sourceCache[slot], &cachedBytes[slot], NULL))
                return false;
            cachedBlock[slot] = block + 1;
        }
        if (into >= cachedBytes[slot])
            return false;
        size_t piece = cachedBytes[slot] - into < length ? cachedBytes[slot] - into : length;
        memcpy(bytes, sourceCache[slot] + into, piece);
        bytes += piece;
        offset += piece;
        length -= piece;
    }
    return true;
}

// The target written so far is never read back: patchtool and xdelta3 copy from the old file only.
bool readTarget(void*, uint64_t, uint8_t*, size_t)
{
    return false;
}

// Each window is hashed on the second thread while it is written, before the decoder reuses it.
bool writeTarget(void* context, const uint8_t* bytes, size_t length)
{
    DeltaStreams* streams = static_cast<DeltaStreams*>(context);
    DWORD written = 0;
    hashInBackground(&streams->hash, bytes, (unsigned long)length);
    if (!WriteFile(streams->temporary, bytes, (DWORD)length, &written, NULL))
        streams->writeError = GetLastError();
    else if (written != length)
        streams->writeError = ERROR_DISK_FULL;
    waitForHash();
    streams->written += written;
    return streams->writeError == 0;
}

}  // namespace

unsigned long decodeDelta(const wchar_t* patchFolder, const EntryNames* entry, HANDLE installed, HANDLE temporary,
                          unsigned long long* written)
{
    static uint8_t window[VCDIFF_MAX_WINDOW], sections[VCDIFF_MAX_SECTIONS];
    wchar_t name[TEXT_CAPACITY], path[TEXT_CAPACITY];
    const ManifestDelta* delta = entry->delta;
    DeltaStreams streams = {INVALID_HANDLE_VALUE, installed, temporary, {}, 0, 0};
    if (deltaFileWideName(delta, name) && composePath(path, patchFolder, name))
        streams.delta = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (streams.delta == INVALID_HANDLE_VALUE)
        return GetLastError();
    // Only bytes the vendor signed are decoded: the whole delta is read and compared first, and
    // no other program can write it while it is open.
    uint64_t size;
    uint8_t digest[SHA256_BYTES];
    LARGE_INTEGER start = {};
    bool signedBytes = hashOpenFile(streams.delta, &size, digest) && sameVersion(size, digest, delta->size, delta->sha256) &&
                       SetFilePointerEx(streams.delta, start, NULL, FILE_BEGIN);
    VcdiffStreams io = {&streams, readDelta, readSource, readTarget, writeTarget};
    VcdiffError error = VCDIFF_NOT_VCDIFF;
    if (signedBytes && beginSha256(&streams.hash))
        error = decodeVcdiff(&io, window, sections);
    CloseHandle(streams.delta);
    bool decoded = finishSha256(&streams.hash, digest) && error == VCDIFF_OK;
    *written = streams.written;
    if (streams.writeError)
        return streams.writeError;
    return decoded && sameVersion(streams.written, digest, entry->listed->size, entry->listed->sha256) ? 0
                                                                                                     : ERROR_PATCH_DAMAGED;
}
