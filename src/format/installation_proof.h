#pragma once
#include <stdint.h>

#include "patch_manifest.h"
#include "update_script.h"

// Whether an installation is one the patch was built for, judged on the
// manifest's "old" lines and the files found there: what makes a folder one
// that may be written with administrator rights. The player's record can name
// any folder; only the vendor's signed hashes prove it.

// A file as found in the installation.
struct InstalledFile {
    bool present;
    uint64_t size;
    uint8_t sha256[SHA256_BYTES];
};

// The distinct paths the "old" lines name, each as the index of its first
// line, in the order they first appear; returns how many.
int listOldPaths(const PatchManifest* manifest, int firstLine[MAX_OLD_FILES]);

enum InstallationProof {
    PROOF_HOLDS,
    PROOF_MISSING,  // the manifest cannot prove any installation: no "old" line for an entry, or no file that must be there
    PROOF_DIFFERS,  // a file is none of its listed versions
};

// found[k] is the file at the k-th of listOldPaths' paths. Each must be one of
// its listed versions, absent where a version had none, or already the file
// the patch installs there (a run cut off between two renames). On
// PROOF_DIFFERS, differing receives k of the first that is not.
InstallationProof proveInstallation(const PatchManifest* manifest, const UpdateScript* script,
                                    const InstalledFile* found, int* differing);
