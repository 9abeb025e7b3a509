#include "patch_crypto.h"

#include <windows.h>
#include <bcrypt.h>
#include <string.h>

// bcrypt.dll is not a KnownDLL: it is loaded by hand once the DLL search is
// limited to the system folder (main.cpp), never imported.
namespace {

struct Cng {
    bool loaded;
    BCRYPT_ALG_HANDLE sha256, ecdsa;
    decltype(&BCryptOpenAlgorithmProvider) openAlgorithm;
    decltype(&BCryptCreateHash) createHash;
    decltype(&BCryptHashData) hashData;
    decltype(&BCryptFinishHash) finishHash;
    decltype(&BCryptDestroyHash) destroyHash;
    decltype(&BCryptImportKeyPair) importKeyPair;
    decltype(&BCryptVerifySignature) verify;
    decltype(&BCryptDestroyKey) destroyKey;
};
Cng cng;

template <typename Function>
void find(HMODULE module, const char* name, Function* function)
{
    *function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Both algorithms are opened once, for the whole run.
bool loadCng()
{
    if (cng.loaded)
        return cng.sha256 != NULL;
    cng.loaded = true;
    HMODULE module = LoadLibraryA("bcrypt.dll");
    if (!module)
        return false;
    find(module, "BCryptOpenAlgorithmProvider", &cng.openAlgorithm);
    find(module, "BCryptCreateHash", &cng.createHash);
    find(module, "BCryptHashData", &cng.hashData);
    find(module, "BCryptFinishHash", &cng.finishHash);
    find(module, "BCryptDestroyHash", &cng.destroyHash);
    find(module, "BCryptImportKeyPair", &cng.importKeyPair);
    find(module, "BCryptVerifySignature", &cng.verify);
    find(module, "BCryptDestroyKey", &cng.destroyKey);
    if (!cng.openAlgorithm || !cng.createHash || !cng.hashData || !cng.finishHash || !cng.destroyHash ||
        !cng.importKeyPair || !cng.verify || !cng.destroyKey)
        return false;
    if (cng.openAlgorithm(&cng.ecdsa, BCRYPT_ECDSA_P256_ALGORITHM, NULL, 0) != 0)
        cng.ecdsa = NULL;
    if (cng.openAlgorithm(&cng.sha256, BCRYPT_SHA256_ALGORITHM, NULL, 0) != 0)
        cng.sha256 = NULL;
    return cng.sha256 != NULL;
}

}  // namespace

bool beginSha256(Sha256* hash)
{
    hash->handle = NULL;
    return loadCng() && cng.createHash(cng.sha256, &hash->handle, NULL, 0, NULL, 0, 0) == 0;
}

void addToSha256(Sha256* hash, const void* data, unsigned long size)
{
    if (hash->handle && cng.hashData(hash->handle, (PUCHAR)data, size, 0) != 0) {
        cng.destroyHash(hash->handle);
        hash->handle = NULL;
    }
}

bool finishSha256(Sha256* hash, uint8_t digest[SHA256_BYTES])
{
    if (!hash->handle)
        return false;
    bool finished = cng.finishHash(hash->handle, digest, SHA256_BYTES, 0) == 0;
    cng.destroyHash(hash->handle);
    hash->handle = NULL;
    return finished;
}

// The hashing thread takes one piece at a time; "finished" is set while it is idle.
static HANDLE hasher, pieceWanted, pieceFinished;
static Sha256* pendingHash;
static const void* pendingData;
static unsigned long pendingSize;

static DWORD WINAPI hashPieces(LPVOID)
{
    for (;;) {
        WaitForSingleObject(pieceWanted, INFINITE);
        addToSha256(pendingHash, pendingData, pendingSize);
        SetEvent(pieceFinished);
    }
}

void hashInBackground(Sha256* hash, const void* data, unsigned long size)
{
    if (!hasher) {
        pieceWanted = CreateEventW(NULL, FALSE, FALSE, NULL);
        pieceFinished = CreateEventW(NULL, FALSE, TRUE, NULL);
        hasher = pieceWanted && pieceFinished ? CreateThread(NULL, 0, hashPieces, NULL, 0, NULL) : NULL;
    }
    if (!hasher) {
        addToSha256(hash, data, size);
        return;
    }
    WaitForSingleObject(pieceFinished, INFINITE);
    pendingHash = hash;
    pendingData = data;
    pendingSize = size;
    SetEvent(pieceWanted);
}

void waitForHash()
{
    if (hasher) {
        WaitForSingleObject(pieceFinished, INFINITE);
        SetEvent(pieceFinished);
    }
}

bool verifySignature(const uint8_t key[MANIFEST_KEY_BYTES], const char* data, unsigned long size,
                     const uint8_t signature[RAW_SIGNATURE_BYTES])
{
    Sha256 hash;
    uint8_t digest[SHA256_BYTES];
    if (!beginSha256(&hash))
        return false;
    addToSha256(&hash, data, size);
    if (!finishSha256(&hash, digest) || !cng.ecdsa)
        return false;
    struct {
        BCRYPT_ECCKEY_BLOB header;
        uint8_t point[MANIFEST_KEY_BYTES];
    } blob;
    blob.header.dwMagic = BCRYPT_ECDSA_PUBLIC_P256_MAGIC;  // set here: an initializer would cost the program a data section
    blob.header.cbKey = 32;
    memcpy(blob.point, key, MANIFEST_KEY_BYTES);
    BCRYPT_KEY_HANDLE publicKey;
    if (cng.importKeyPair(cng.ecdsa, NULL, BCRYPT_ECCPUBLIC_BLOB, &publicKey, (PUCHAR)&blob, sizeof blob, 0) != 0)
        return false;
    bool verified = cng.verify(publicKey, NULL, digest, SHA256_BYTES, (PUCHAR)signature, RAW_SIGNATURE_BYTES, 0) == 0;
    cng.destroyKey(publicKey);
    return verified;
}

bool hashOpenFile(void* file, uint64_t* size, uint8_t digest[SHA256_BYTES])
{
    static char buffer[1 << 16];
    Sha256 hash;
    bool read = beginSha256(&hash);
    *size = 0;
    for (DWORD got = 1; read && got > 0; *size += got) {
        read = ReadFile(file, buffer, sizeof buffer, &got, NULL) != 0;
        addToSha256(&hash, buffer, got);
    }
    return finishSha256(&hash, digest) && read;
}
