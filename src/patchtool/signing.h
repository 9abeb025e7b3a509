#pragma once
#include <stddef.h>
#include <stdint.h>

#include <filesystem>
#include <string>

#include "format/patch_manifest.h"
#include "key_files.h"

// The cryptography patchtool needs, from the platform, never its own: OpenSSL's
// libcrypto on Linux (signing_openssl.cpp), Windows' CNG (signing_cng.cpp).

void sha256(const void* data, size_t size, uint8_t digest[SHA256_BYTES]);
// False when the file cannot be read, with the system's reason.
bool sha256OfFile(const std::filesystem::path& file, uint8_t digest[SHA256_BYTES], uint64_t* size, std::string& problem);

// A new ECDSA P-256 key pair.
bool generateKeyPair(uint8_t privateKey[PRIVATE_KEY_BYTES], uint8_t publicKey[PUBLIC_KEY_BYTES]);

// The public key of a "PUBLIC KEY" PEM text; false when it is no P-256 key.
bool readPublicKey(const std::string& pem, uint8_t publicKey[PUBLIC_KEY_BYTES]);

// Signs SHA-256 of body with the private key of a PEM text (PKCS#8); gives the
// signature as r and s and the key's public half. False, with the reason, when
// the text holds no P-256 private key.
bool signBody(const std::string& privatePem, const std::string& body, uint8_t signature[RAW_SIGNATURE_BYTES],
              uint8_t publicKey[PUBLIC_KEY_BYTES], std::string& problem);

bool verifyBody(const uint8_t publicKey[PUBLIC_KEY_BYTES], const char* body, size_t size,
                const uint8_t signature[RAW_SIGNATURE_BYTES]);
