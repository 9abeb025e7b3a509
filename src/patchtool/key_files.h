#pragma once
#include <stdint.h>

#include <filesystem>
#include <string>

// The vendor's ECDSA P-256 key in the files OpenSSL writes and reads: the
// private key as PKCS#8 PEM, the public key as SubjectPublicKeyInfo PEM.
// Encoding only; the cryptography is the platform's (signing.h).
enum { PRIVATE_KEY_BYTES = 32, PUBLIC_KEY_BYTES = 64 };  // d; X then Y

std::string pemEncode(const std::string& der, const char* label);
// The DER between "-----BEGIN label-----" and its end line; false when there is none or it is not base64.
bool pemDecode(const std::string& text, const char* label, std::string& der);

std::string spkiFromPublicKey(const uint8_t publicKey[PUBLIC_KEY_BYTES]);
bool publicKeyFromSpki(const std::string& der, uint8_t publicKey[PUBLIC_KEY_BYTES]);

// PKCS#8 as OpenSSL writes a P-256 key (with its public key); other encodings are refused.
std::string pkcs8FromKeyPair(const uint8_t privateKey[PRIVATE_KEY_BYTES], const uint8_t publicKey[PUBLIC_KEY_BYTES]);
bool keyPairFromPkcs8(const std::string& der, uint8_t privateKey[PRIVATE_KEY_BYTES], uint8_t publicKey[PUBLIC_KEY_BYTES]);

// "SHA256:" and the SHA-256 of the key's SubjectPublicKeyInfo in hex, as
// `openssl pkey -pubin -in KEY.pub -outform DER | sha256sum` prints it.
std::string keyFingerprint(const uint8_t publicKey[PUBLIC_KEY_BYTES]);

// Reads a key file given on the command line: the private key (build --sign,
// sign) or the public one (check --key, plan --key). False, with what the file
// is and what to do instead, when it cannot hold that key: missing, a folder,
// empty, UTF-16 text, a certificate, an RSA key, an encrypted key, or the other
// half of the pair.
bool readKeyFile(const std::filesystem::path& file, bool wantPrivate, std::string& text, std::string& problem);

// The same over a key file's bytes; problem says what they are, without the file's name.
bool keyFromText(const std::string& text, bool wantPrivate, std::string& problem);
