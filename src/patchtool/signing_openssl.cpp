#include "signing.h"

#include <openssl/bio.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <vector>

namespace {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using DigestContext = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

// The key's public half as X and Y, when it is a P-256 key.
bool publicHalf(EVP_PKEY* key, uint8_t publicKey[PUBLIC_KEY_BYTES])
{
    char group[32] = "";
    uint8_t point[PUBLIC_KEY_BYTES + 1];
    size_t length = 0;
    if (!key || EVP_PKEY_get_base_id(key) != EVP_PKEY_EC ||
        !EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, nullptr) ||
        strcmp(group, "prime256v1") != 0)
        return false;
    EVP_PKEY_set_utf8_string_param(key, OSSL_PKEY_PARAM_EC_POINT_CONVERSION_FORMAT, "uncompressed");
    if (!EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point, &length) ||
        length != sizeof point || point[0] != 4)
        return false;
    memcpy(publicKey, point + 1, PUBLIC_KEY_BYTES);
    return true;
}

Key readKey(const std::string& pem, bool isPrivate)
{
    std::unique_ptr<BIO, decltype(&BIO_free)> text(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), BIO_free);
    return Key(isPrivate ? PEM_read_bio_PrivateKey(text.get(), nullptr, nullptr, nullptr)
                         : PEM_read_bio_PUBKEY(text.get(), nullptr, nullptr, nullptr),
               EVP_PKEY_free);
}

}  // namespace

void sha256(const void* data, size_t size, uint8_t digest[SHA256_BYTES])
{
    EVP_Digest(data, size, digest, nullptr, EVP_sha256(), nullptr);
}

bool sha256OfFile(const std::filesystem::path& file, uint8_t digest[SHA256_BYTES], uint64_t* size, std::string& problem)
{
    errno = 0;
    std::ifstream in(file, std::ios::binary);
    DigestContext context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr);
    std::vector<char> buffer(1 << 20);
    *size = 0;
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        EVP_DigestUpdate(context.get(), buffer.data(), static_cast<size_t>(in.gcount()));
        *size += static_cast<uint64_t>(in.gcount());
    }
    if (!in.eof()) {
        problem = errno ? std::strerror(errno) : "cannot be read";
        return false;
    }
    return EVP_DigestFinal_ex(context.get(), digest, nullptr) == 1;
}

bool generateKeyPair(uint8_t privateKey[PRIVATE_KEY_BYTES], uint8_t publicKey[PUBLIC_KEY_BYTES])
{
    Key key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"), EVP_PKEY_free);
    BIGNUM* secret = nullptr;
    bool made = publicHalf(key.get(), publicKey) && EVP_PKEY_get_bn_param(key.get(), OSSL_PKEY_PARAM_PRIV_KEY, &secret) &&
                BN_bn2binpad(secret, privateKey, PRIVATE_KEY_BYTES) == PRIVATE_KEY_BYTES;
    BN_clear_free(secret);
    return made;
}

bool readPublicKey(const std::string& pem, uint8_t publicKey[PUBLIC_KEY_BYTES])
{
    return publicHalf(readKey(pem, false).get(), publicKey);
}

bool signBody(const std::string& privatePem, const std::string& body, uint8_t signature[RAW_SIGNATURE_BYTES],
              uint8_t publicKey[PUBLIC_KEY_BYTES], std::string& problem)
{
    Key key = readKey(privatePem, true);
    if (!publicHalf(key.get(), publicKey)) {
        problem = "holds no ECDSA P-256 private key (PEM, unencrypted)";
        return false;
    }
    DigestContext context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    uint8_t der[MAX_DER_SIGNATURE_BYTES];
    size_t length = sizeof der;
    if (EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
        EVP_DigestSign(context.get(), der, &length, reinterpret_cast<const uint8_t*>(body.data()), body.size()) != 1 ||
        !signatureFromDer(der, length, signature)) {
        problem = "could not sign with it";
        return false;
    }
    return true;
}

bool verifyBody(const uint8_t publicKey[PUBLIC_KEY_BYTES], const char* body, size_t size,
                const uint8_t signature[RAW_SIGNATURE_BYTES])
{
    std::string spki = spkiFromPublicKey(publicKey);
    const uint8_t* at = reinterpret_cast<const uint8_t*>(spki.data());
    Key key(d2i_PUBKEY(nullptr, &at, static_cast<long>(spki.size())), EVP_PKEY_free);
    uint8_t der[MAX_DER_SIGNATURE_BYTES];
    size_t length = signatureToDer(signature, der);
    DigestContext context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    return key && EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) == 1 &&
           EVP_DigestVerify(context.get(), der, length, reinterpret_cast<const uint8_t*>(body), size) == 1;
}
