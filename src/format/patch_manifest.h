#pragma once
#include <stddef.h>
#include <stdint.h>

#include "path_text.h"

// "update.manifest", beside "update.txt": plain text that lists "update.txt"
// and every patch file with its size and SHA-256, and may end in the vendor's
// ECDSA P-256 signature over SHA-256 of every byte before that last line.
//
//     sorvane patch manifest 1
//     key <the signer's public key, X then Y, in hex>      (optional, for people)
//     <sha-256 in hex> <size in bytes> <flat name>
//     new <sha-256 in hex> <size in bytes> <flat name>
//     delta <base's sha-256> <base's size> <delta's sha-256> <delta's size> <flat name>
//     old <sha-256 in hex> <size in bytes> <installed path>
//     old - <installed path>
//     signature <the signature in DER, in hex>
//
// A "new" line lists a file that the patch installs but ships only as deltas: a "delta" line
// for each version of it that a delta starts from (its base), the delta lying in the patch
// folder as "<flat name>.<the base's sha-256, first 16 hex digits>.vcdiff" (VCDIFF, vcdiff.h).
// A file listed whole may have deltas too: the updater takes the one whose base is installed.
//
// An "old" line tells the file that one version the patch updates has at an
// installed path (as update.txt writes it, relative to the installation), or
// that it has none ("-"): for every file the patch installs, and for one it
// leaves alone, so that the installation itself can be proven to be one of
// those versions before anything is written into it with administrator rights.
//
// Lines end in LF. The key line only tells a reader which key signed; the
// updater verifies with the key built into it. The signature is DER because that is what OpenSSL writes
// and reads (openssl dgst -sha256 -sign KEY -hex).
#define MANIFEST_NAME "update.manifest"
#define MANIFEST_HEADER "sorvane patch manifest 1\n"

// In updater.exe, before the patch key it holds (X then Y; all zero for none),
// so that patchtool can name the key a patch folder's updater.exe holds.
#define UPDATER_KEY_MARKER "sorvane patch key 1:"

enum {
    MAX_MANIFEST_FILES = 64,
    SHA256_BYTES = 32,
    RAW_SIGNATURE_BYTES = 64,
    MANIFEST_KEY_BYTES = 64,   // r then s, big-endian, as Windows' CNG takes it
    MAX_DER_SIGNATURE_BYTES = 72,
    MAX_OLD_FILES = 256,  // 50 entries and an anchor, in five versions each
    MAX_DELTAS = 256,     // 50 entries, from five versions each
    MAX_MANIFEST_BYTES = 262144,  // 576 lines of at most 6 + 2 x (64 + 22) + 259 characters, and the signature
    MANIFEST_LINE_CAPACITY = 6 + 2 * (2 * SHA256_BYTES + 22) + TEXT_CAPACITY,
    DELTA_NAME_SUFFIX = 1 + 16 + 7,  // ".<16 hex digits>.vcdiff"
};

struct ManifestFile {
    char name[TEXT_CAPACITY];
    uint64_t size;
    uint8_t sha256[SHA256_BYTES];
    bool onlyDeltas;  // a "new" line: the patch folder holds no such file, only its deltas
};

struct ManifestDelta {
    char name[TEXT_CAPACITY];  // the file it gives
    uint64_t baseSize;
    uint8_t baseSha256[SHA256_BYTES];
    uint64_t size;  // of the delta file
    uint8_t sha256[SHA256_BYTES];
};

struct ManifestOldFile {
    char path[TEXT_CAPACITY];
    bool absent;  // that version has no file at path
    uint64_t size;
    uint8_t sha256[SHA256_BYTES];
};

struct PatchManifest {
    ManifestFile files[MAX_MANIFEST_FILES];
    int fileCount;
    ManifestOldFile oldFiles[MAX_OLD_FILES];
    int oldFileCount;
    ManifestDelta deltas[MAX_DELTAS];
    int deltaCount;
    bool hasKey;
    uint8_t key[MANIFEST_KEY_BYTES];
    size_t signedLength;  // the bytes the signature covers: all before its line
    bool hasSignature;
    uint8_t signature[RAW_SIGNATURE_BYTES];
    int badLine;  // when it cannot be read: the first line that is wrong, from 1
};

// False, with badLine, for anything but a manifest as written above: another
// first line, a malformed line or signature, a line after the signature, a
// name listed twice (case aside) or more than MAX_MANIFEST_FILES files, a
// delta for no listed file or two from one base, a "new" file without deltas.
bool parseManifest(const char* bytes, size_t length, PatchManifest* manifest);

// The file listed under name, which Windows compares without regard to case.
const ManifestFile* findManifestFile(const PatchManifest* manifest, const char* name);

// Names as Windows compares them: ASCII letters without regard to case.
bool sameManifestName(const char* a, const char* b);

// One line of the list, with its line feed, into a MANIFEST_LINE_CAPACITY buffer.
void formatManifestLine(char* line, const char* name, uint64_t size, const uint8_t sha256[SHA256_BYTES]);

// A "new" line, with its line feed, into a MANIFEST_LINE_CAPACITY buffer.
void formatNewLine(char* line, const char* name, uint64_t size, const uint8_t sha256[SHA256_BYTES]);

// A "delta" line, with its line feed, into a MANIFEST_LINE_CAPACITY buffer.
void formatDeltaLine(char* line, const ManifestDelta* delta);

// The delta's file in the patch folder, into a TEXT_CAPACITY buffer; false when the name is too long.
bool deltaFileName(char* fileName, const char* name, const uint8_t baseSha256[SHA256_BYTES]);

// An "old" line, with its line feed, into a MANIFEST_LINE_CAPACITY buffer (size and sha256 unused when absent).
void formatOldLine(char* line, const char* path, bool absent, uint64_t size, const uint8_t sha256[SHA256_BYTES]);

// The key's line, with its line feed, into a MANIFEST_LINE_CAPACITY buffer.
void formatKeyLine(char* line, const uint8_t key[MANIFEST_KEY_BYTES]);

// The signature's line, with its line feed; false for a DER signature that is no ECDSA P-256 one.
bool formatSignatureLine(char* line, const uint8_t* der, size_t derLength);

// ECDSA signatures between DER (OpenSSL) and r and s (CNG). signatureFromDer
// takes only the strict encoding of two 32-byte numbers.
bool signatureFromDer(const uint8_t* der, size_t length, uint8_t raw[RAW_SIGNATURE_BYTES]);
size_t signatureToDer(const uint8_t raw[RAW_SIGNATURE_BYTES], uint8_t der[MAX_DER_SIGNATURE_BYTES]);
