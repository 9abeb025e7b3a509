#pragma once
#include <stdint.h>

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
