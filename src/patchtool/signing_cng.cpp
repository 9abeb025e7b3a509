#include "signing.h"

#include <windows.h>
#include <bcrypt.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

namespace {

struct Algorithm {
    BCRYPT_ALG_HANDLE handle = nullptr;
    explicit Algorithm(const wchar_t* name) { BCryptOpenAlgorithmProvider(&handle, name, nullptr, 0); }
    ~Algorithm() { if (handle) BCryptCloseAlgorithmProvider(handle, 0); }
};

struct KeyHandle {
    BCRYPT_KEY_HANDLE handle = nullptr;
    ~KeyHandle() { if (handle) BCryptDestroyKey(handle); }
};

struct Hash {
    Algorithm algorithm{BCRYPT_SHA256_ALGORITHM};
    BCRYPT_HASH_HANDLE handle = nullptr;
    Hash() { BCryptCreateHash(algorithm.handle, &handle, nullptr, 0, nullptr, 0, 0); }
    ~Hash() { if (handle) BCryptDestroyHash(handle); }
    void add(const void* data, size_t size) { BCryptHashData(handle, (PUCHAR)data, (ULONG)size, 0); }
    void finish(uint8_t digest[SHA256_BYTES]) { BCryptFinishHash(handle, digest, SHA256_BYTES, 0); }
};

// A key blob: its header, X, Y and, for a private key, d.
bool importKey(const Algorithm& ecdsa, const uint8_t publicKey[PUBLIC_KEY_BYTES], const uint8_t* privateKey,
               KeyHandle& key)
{
    std::vector<uint8_t> blob(sizeof(BCRYPT_ECCKEY_BLOB) + PUBLIC_KEY_BYTES + (privateKey ? PRIVATE_KEY_BYTES : 0));
    auto* header = reinterpret_cast<BCRYPT_ECCKEY_BLOB*>(blob.data());
    header->dwMagic = privateKey ? BCRYPT_ECDSA_PRIVATE_P256_MAGIC : BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
    header->cbKey = 32;
    memcpy(blob.data() + sizeof *header, publicKey, PUBLIC_KEY_BYTES);
    if (privateKey)
        memcpy(blob.data() + sizeof *header + PUBLIC_KEY_BYTES, privateKey, PRIVATE_KEY_BYTES);
    return ecdsa.handle && BCryptImportKeyPair(ecdsa.handle, nullptr,
                                               privateKey ? BCRYPT_ECCPRIVATE_BLOB : BCRYPT_ECCPUBLIC_BLOB, &key.handle,
                                               blob.data(), (ULONG)blob.size(), 0) == 0;
}

}  // namespace

void sha256(const void* data, size_t size, uint8_t digest[SHA256_BYTES])
{
    Hash hash;
    hash.add(data, size);
    hash.finish(digest);
}

bool sha256OfFile(const std::filesystem::path& file, uint8_t digest[SHA256_BYTES], uint64_t* size, std::string& problem)
{
    errno = 0;
    std::ifstream in(file, std::ios::binary);
    Hash hash;
    std::vector<char> buffer(1 << 20);
    for (*size = 0; in; *size += static_cast<uint64_t>(in.gcount())) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        hash.add(buffer.data(), static_cast<size_t>(in.gcount()));
    }
    if (!in.eof()) {
        problem = errno ? std::strerror(errno) : "cannot be read";
        return false;
    }
    hash.finish(digest);
    return true;
}

bool generateKeyPair(uint8_t privateKey[PRIVATE_KEY_BYTES], uint8_t publicKey[PUBLIC_KEY_BYTES])
{
    Algorithm ecdsa(BCRYPT_ECDSA_P256_ALGORITHM);
    KeyHandle key;
    uint8_t blob[sizeof(BCRYPT_ECCKEY_BLOB) + PUBLIC_KEY_BYTES + PRIVATE_KEY_BYTES];
    ULONG length = 0;
    if (!ecdsa.handle || BCryptGenerateKeyPair(ecdsa.handle, &key.handle, 256, 0) != 0 ||
        BCryptFinalizeKeyPair(key.handle, 0) != 0 ||
        BCryptExportKey(key.handle, nullptr, BCRYPT_ECCPRIVATE_BLOB, blob, sizeof blob, &length, 0) != 0 ||
        length != sizeof blob)
        return false;
    memcpy(publicKey, blob + sizeof(BCRYPT_ECCKEY_BLOB), PUBLIC_KEY_BYTES);
    memcpy(privateKey, blob + sizeof(BCRYPT_ECCKEY_BLOB) + PUBLIC_KEY_BYTES, PRIVATE_KEY_BYTES);
    SecureZeroMemory(blob, sizeof blob);
    return true;
}

bool readPublicKey(const std::string& pem, uint8_t publicKey[PUBLIC_KEY_BYTES])
{
    std::string der;
    return pemDecode(pem, "PUBLIC KEY", der) && publicKeyFromSpki(der, publicKey);
}

bool signBody(const std::string& privatePem, const std::string& body, uint8_t signature[RAW_SIGNATURE_BYTES],
              uint8_t publicKey[PUBLIC_KEY_BYTES], std::string& problem)
{
    std::string der;
    uint8_t privateKey[PRIVATE_KEY_BYTES];
    Algorithm ecdsa(BCRYPT_ECDSA_P256_ALGORITHM);
    KeyHandle key;
    if (!pemDecode(privatePem, "PRIVATE KEY", der) || !keyPairFromPkcs8(der, privateKey, publicKey) ||
        !importKey(ecdsa, publicKey, privateKey, key)) {
        problem = "holds no ECDSA P-256 private key in PKCS#8 PEM as patchtool keygen writes it";
        return false;
    }
    SecureZeroMemory(privateKey, sizeof privateKey);
    uint8_t digest[SHA256_BYTES];
    sha256(body.data(), body.size(), digest);
    ULONG length = 0;
    if (BCryptSignHash(key.handle, nullptr, digest, sizeof digest, signature, RAW_SIGNATURE_BYTES, &length, 0) != 0 ||
        length != RAW_SIGNATURE_BYTES) {
        problem = "could not sign with it";
        return false;
    }
    return true;
}

bool verifyBody(const uint8_t publicKey[PUBLIC_KEY_BYTES], const char* body, size_t size,
                const uint8_t signature[RAW_SIGNATURE_BYTES])
{
    Algorithm ecdsa(BCRYPT_ECDSA_P256_ALGORITHM);
    KeyHandle key;
    uint8_t digest[SHA256_BYTES];
    sha256(body, size, digest);
    return importKey(ecdsa, publicKey, nullptr, key) &&
           BCryptVerifySignature(key.handle, nullptr, digest, sizeof digest, (PUCHAR)signature, RAW_SIGNATURE_BYTES,
                                 0) == 0;
}
