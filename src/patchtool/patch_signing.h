#pragma once
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "format/update_script.h"
#include "key_files.h"
#include "report.h"

// "update.manifest": what build writes (signed with --sign), sign rewrites,
// check and plan verify, and keygen's key files.

// Writes the manifest of folder: update.txt and every flat file the script's
// entries name, with sizes and SHA-256, and the "old" lines: each entry's
// installed file in every tree of oldTrees (the versions the patch updates),
// and one file they all hold that the patch leaves alone; with no oldTrees,
// the "old" lines of the manifest already there; and deltaLines, the "new" and
// "delta" lines of the files shipped as deltas (null: those of the manifest
// already there). Signed with the PEM private key when one is given. False,
// with the reason, when a file or the key cannot be read.
bool writeManifest(const std::filesystem::path& folder, const UpdateScript& script, const std::string& privatePem,
                   const std::vector<std::filesystem::path>& oldTrees, const std::string* deltaLines,
                   std::string& problem);

// What the folder's manifest ships as deltas (folded names): the files it lists as "new", and
// the delta files that give them. Empty when the folder has no manifest that reads.
void deltaShipped(const std::filesystem::path& folder, std::set<std::string>& files, std::set<std::string>& deltaFiles);

// Each delta the folder's manifest lists for the flat file name, in words for the vendor:
// "delta from <base> (N bytes): NEW -> DELTA bytes", its file and size.
struct DeltaFacts {
    std::string file, words;
    uint64_t size;
};
std::vector<DeltaFacts> deltasListed(const std::filesystem::path& folder, const std::string& name);

// keygen KEY: KEY (PKCS#8 PEM, owner-only) and KEY.pub (SubjectPublicKeyInfo PEM), never overwriting.
bool writeKeyPair(const std::filesystem::path& key, std::string& problem);

// The patch key built into an updater.exe; false when it holds none.
bool updaterPatchKey(const std::filesystem::path& updater, uint8_t publicKey[PUBLIC_KEY_BYTES]);

// Reports every problem of the folder's manifest against its script and files:
// a file missing or changed, an entry it does not list, a signature that does
// not verify with the key the updater.exe beside it holds or with expectedKey
// (a "PUBLIC KEY" PEM text, "" for none). Adds to facts what a reader should
// know: the signing key's fingerprint and the updater's.
void checkManifest(const std::filesystem::path& folder, const UpdateScript& script, const std::string& expectedKey,
                   Report& report, std::string& facts);
