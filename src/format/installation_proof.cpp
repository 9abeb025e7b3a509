#include "installation_proof.h"

#include <string.h>

namespace {

bool sameFile(const InstalledFile& found, uint64_t size, const uint8_t* sha256)
{
    return found.present && found.size == size && memcmp(found.sha256, sha256, SHA256_BYTES) == 0;
}

// The file a patch entry installs at path, listed by its flat name.
bool isInstalledVersion(const PatchManifest* manifest, const UpdateScript* script, const char* path,
                        const InstalledFile& found)
{
    for (int i = 0; i < script->entryCount; i++) {
        const ManifestFile* listed = findManifestFile(manifest, script->entries[i].sourceName);
        if (listed && sameManifestName(script->entries[i].targetPath, path) && sameFile(found, listed->size, listed->sha256))
            return true;
    }
    return false;
}

}  // namespace

int listOldPaths(const PatchManifest* manifest, int firstLine[MAX_OLD_FILES])
{
    int count = 0;
    for (int line = 0; line < manifest->oldFileCount; line++) {
        bool seen = false;
        for (int k = 0; k < count && !seen; k++)
            seen = sameManifestName(manifest->oldFiles[firstLine[k]].path, manifest->oldFiles[line].path);
        if (!seen)
            firstLine[count++] = line;
    }
    return count;
}

InstallationProof proveInstallation(const PatchManifest* manifest, const UpdateScript* script,
                                    const InstalledFile* found, int* differing)
{
    int firstLine[MAX_OLD_FILES];
    int paths = listOldPaths(manifest, firstLine);
    for (int i = 0; i < script->entryCount; i++) {
        bool listed = script->entries[i].sourceName[0] == '\0';  // an entry with no file copies nothing
        for (int k = 0; k < paths && !listed; k++)
            listed = sameManifestName(manifest->oldFiles[firstLine[k]].path, script->entries[i].targetPath);
        if (!listed)
            return PROOF_MISSING;
    }
    bool somethingMustBeThere = false;
    for (int k = 0; k < paths; k++) {
        const char* path = manifest->oldFiles[firstLine[k]].path;
        bool mayBeAbsent = false, matches = false;
        for (int line = firstLine[k]; line < manifest->oldFileCount; line++) {
            const ManifestOldFile& old = manifest->oldFiles[line];
            if (!sameManifestName(old.path, path))
                continue;
            mayBeAbsent |= old.absent;
            matches |= old.absent ? !found[k].present : sameFile(found[k], old.size, old.sha256);
        }
        somethingMustBeThere |= !mayBeAbsent;
        if (!matches && !isInstalledVersion(manifest, script, path, found[k])) {
            *differing = k;
            return PROOF_DIFFERS;
        }
    }
    return somethingMustBeThere ? PROOF_HOLDS : PROOF_MISSING;
}
