#pragma once
#include <stdint.h>

#include "format/patch_manifest.h"

// SHA-256 and the check of the vendor's ECDSA P-256 signature, by Windows' CNG
// (bcrypt.dll), loaded from the system folder on first use.

// One hash at a time per object; a hash that could not begin finishes false.
struct Sha256 {
    void* handle;
};
bool beginSha256(Sha256* hash);
void addToSha256(Sha256* hash, const void* data, unsigned long size);
bool finishSha256(Sha256* hash, uint8_t digest[SHA256_BYTES]);  // also ends a hash that is not wanted

// SHA-256 and size of a file read through its handle; false when it cannot be read.
bool hashOpenFile(void* file, uint64_t* size, uint8_t digest[SHA256_BYTES]);

// addToSha256 on a second thread, beside the caller's own work (a copy's
// writes): data must stay as it is until the next hand-over or waitForHash.
void hashInBackground(Sha256* hash, const void* data, unsigned long size);
void waitForHash();

// True when signature (r and s) is the signature of SHA-256 of data by the key (X then Y).
bool verifySignature(const uint8_t key[MANIFEST_KEY_BYTES], const char* data, unsigned long size,
                     const uint8_t signature[RAW_SIGNATURE_BYTES]);

// The key built into this updater.exe (patch_key.cpp, generated); null for none.
const uint8_t* builtInPatchKey();
// Its fingerprint as patchtool prints it ("SHA256:..."), or "none".
const char* patchKeyFingerprint();
