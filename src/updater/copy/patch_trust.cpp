#include "patch_trust.h"

#include <windows.h>

#include "delta_entry.h"
#include "patch_crypto.h"
#include "../run_log.h"
#include "../run_state.h"
#include "../ui/notice.h"

static PatchManifest manifest;
static bool hasManifest;

// The name is the script's, 8-bit text in the ANSI code page (%hs).
void tellDamaged(const char* name)
{
    showFailure("The update's file %s\\%hs is damaged or incomplete, so nothing was installed.\n"
                "Please download the patch again.", runState.programFolder, name);
}

static void tellNotFromPublisher()
{
    showFailure("This update does not come from the game's publisher, so nothing was installed.\n"
                "Please download the patch again from the publisher.");
}

// The manifest as it lies beside the script; false when there is none or it
// does not fit, with found telling which.
static bool readManifest(char* bytes, DWORD* length, bool* found)
{
    wchar_t path[TEXT_CAPACITY];
    *found = false;
    if (!composePath(path, runState.programFolder, MANIFEST_FILE))
        return false;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        *found = GetLastError() != ERROR_FILE_NOT_FOUND;
        return false;
    }
    *found = true;
    bool read = ReadFile(file, bytes, MAX_MANIFEST_BYTES, length, NULL) && *length < MAX_MANIFEST_BYTES;
    CloseHandle(file);
    return read;
}

static bool hasSize(const wchar_t* name, uint64_t size)
{
    wchar_t path[TEXT_CAPACITY];
    WIN32_FILE_ATTRIBUTE_DATA found;
    return composePath(path, runState.programFolder, name) && GetFileAttributesExW(path, GetFileExInfoStandard, &found) &&
           ((unsigned long long)found.nFileSizeHigh << 32 | found.nFileSizeLow) == size;
}

// A file shipped whole lies in the patch folder at its listed size; one shipped as deltas, each of them.
static bool hasListedSize(const wchar_t* name, const ManifestFile* listed)
{
    if (!listed)
        return false;
    if (!listed->onlyDeltas)
        return hasSize(name, listed->size);
    for (int i = 0; i < manifest.deltaCount; i++) {
        wchar_t deltaName[TEXT_CAPACITY];
        const ManifestDelta* delta = &manifest.deltas[i];
        if (sameManifestName(delta->name, listed->name) && !(deltaFileWideName(delta, deltaName) && hasSize(deltaName, delta->size)))
            return false;
    }
    return true;
}

bool patchIsTrusted()
{
    static char bytes[MAX_MANIFEST_BYTES];
    DWORD length = 0;
    bool found;
    const uint8_t* key = builtInPatchKey();
    hasManifest = readManifest(bytes, &length, &found) && parseManifest(bytes, length, &manifest);
    if (key && !(hasManifest && manifest.hasSignature &&
                 verifySignature(key, bytes, (unsigned long)manifest.signedLength, manifest.signature))) {
        tellNotFromPublisher();
        return false;
    }
    if (!hasManifest && !found) {
        logLine("manifest none");
        return true;  // an unsigned patch, for an updater without a key
    }
    if (!hasManifest) {
        tellDamaged(MANIFEST_NAME);
        return false;
    }
    const ManifestFile* script = findManifestFile(&manifest, "update.txt");
    if (!script || script->size != runState.scriptSize || memcmp(script->sha256, runState.scriptDigest, SHA256_BYTES) != 0) {
        tellDamaged("update.txt");
        return false;
    }
    for (int i = 0; i < runState.script.entryCount; i++) {
        const char* name = runState.script.entries[i].sourceName;
        runState.entries[i].listed = listedFile(i);
        if (name[0] && !hasListedSize(runState.entries[i].sourceName, runState.entries[i].listed)) {
            tellDamaged(name);
            return false;
        }
    }
    logLine("manifest listed %d old %d signed %d", manifest.fileCount, manifest.oldFileCount, key != nullptr);
    return true;
}

const ManifestFile* listedFile(int entry)
{
    return hasManifest ? findManifestFile(&manifest, runState.script.entries[entry].sourceName) : nullptr;
}

const PatchManifest* verifiedManifest()
{
    return hasManifest ? &manifest : nullptr;
}
