#include "key_files.h"

#include <string.h>

#include "signing.h"

namespace {

const char BASE64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The fixed DER around a P-256 key, as OpenSSL writes it.
const std::string SPKI_PREFIX("\x30\x59\x30\x13\x06\x07\x2a\x86\x48\xce\x3d\x02\x01\x06\x08\x2a\x86\x48\xce\x3d\x03"
                              "\x01\x07\x03\x42\x00\x04", 27);
const std::string PKCS8_PREFIX("\x30\x81\x87\x02\x01\x00\x30\x13\x06\x07\x2a\x86\x48\xce\x3d\x02\x01\x06\x08\x2a\x86"
                               "\x48\xce\x3d\x03\x01\x07\x04\x6d\x30\x6b\x02\x01\x01\x04\x20", 36);
const std::string PKCS8_MIDDLE("\xa1\x44\x03\x42\x00\x04", 6);

std::string bytes(const uint8_t* data, size_t count)
{
    return std::string(reinterpret_cast<const char*>(data), count);
}

}  // namespace

std::string pemEncode(const std::string& der, const char* label)
{
    std::string text = std::string("-----BEGIN ") + label + "-----\n", line;
    for (size_t i = 0; i < der.size(); i += 3) {
        uint32_t group = static_cast<uint8_t>(der[i]) << 16;
        size_t have = der.size() - i < 3 ? der.size() - i : 3;
        for (size_t k = 1; k < have; k++)
            group |= static_cast<uint32_t>(static_cast<uint8_t>(der[i + k])) << (16 - 8 * k);
        for (size_t k = 0; k < 4; k++)
            line += k <= have ? BASE64[group >> (18 - 6 * k) & 63] : '=';
        if (line.size() == 64 || i + 3 >= der.size()) {
            text += line + "\n";
            line.clear();
        }
    }
    return text + "-----END " + label + "-----\n";
}

bool pemDecode(const std::string& text, const char* label, std::string& der)
{
    std::string begin = std::string("-----BEGIN ") + label + "-----", end = std::string("-----END ") + label + "-----";
    size_t from = text.find(begin), to = text.find(end);
    if (from == std::string::npos || to == std::string::npos || to < from)
        return false;
    der.clear();
    uint32_t group = 0;
    int bits = 0;
    bool padded = false;
    for (size_t i = from + begin.size(); i < to; i++) {
        char c = text[i];
        if (c == '\n' || c == '\r' || c == ' ' || c == '\t')
            continue;
        if (c == '=') {
            padded = true;
            continue;
        }
        const char* found = c ? strchr(BASE64, c) : nullptr;
        if (!found || padded)
            return false;
        group = group << 6 | static_cast<uint32_t>(found - BASE64);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            der += static_cast<char>(group >> bits & 0xFF);
        }
    }
    return !der.empty();
}

std::string spkiFromPublicKey(const uint8_t publicKey[PUBLIC_KEY_BYTES])
{
    return SPKI_PREFIX + bytes(publicKey, PUBLIC_KEY_BYTES);
}

bool publicKeyFromSpki(const std::string& der, uint8_t publicKey[PUBLIC_KEY_BYTES])
{
    if (der.size() != SPKI_PREFIX.size() + PUBLIC_KEY_BYTES || der.compare(0, SPKI_PREFIX.size(), SPKI_PREFIX) != 0)
        return false;
    memcpy(publicKey, der.data() + SPKI_PREFIX.size(), PUBLIC_KEY_BYTES);
    return true;
}

std::string pkcs8FromKeyPair(const uint8_t privateKey[PRIVATE_KEY_BYTES], const uint8_t publicKey[PUBLIC_KEY_BYTES])
{
    return PKCS8_PREFIX + bytes(privateKey, PRIVATE_KEY_BYTES) + PKCS8_MIDDLE + bytes(publicKey, PUBLIC_KEY_BYTES);
}

bool keyPairFromPkcs8(const std::string& der, uint8_t privateKey[PRIVATE_KEY_BYTES], uint8_t publicKey[PUBLIC_KEY_BYTES])
{
    size_t middle = PKCS8_PREFIX.size() + PRIVATE_KEY_BYTES;
    if (der.size() != middle + PKCS8_MIDDLE.size() + PUBLIC_KEY_BYTES ||
        der.compare(0, PKCS8_PREFIX.size(), PKCS8_PREFIX) != 0 || der.compare(middle, PKCS8_MIDDLE.size(), PKCS8_MIDDLE) != 0)
        return false;
    memcpy(privateKey, der.data() + PKCS8_PREFIX.size(), PRIVATE_KEY_BYTES);
    memcpy(publicKey, der.data() + middle + PKCS8_MIDDLE.size(), PUBLIC_KEY_BYTES);
    return true;
}

std::string keyFingerprint(const uint8_t publicKey[PUBLIC_KEY_BYTES])
{
    std::string spki = spkiFromPublicKey(publicKey), text = "SHA256:";
    uint8_t digest[32];
    sha256(spki.data(), spki.size(), digest);
    for (uint8_t byte : digest)
        text += std::string(1, "0123456789abcdef"[byte >> 4]) + "0123456789abcdef"[byte & 15];
    return text;
}
