#include "patch_manifest.h"

#include <string.h>

namespace {

const char HEX_DIGITS[] = "0123456789abcdef";
const char SIGNATURE_PREFIX[] = "signature ";
const char KEY_PREFIX[] = "key ";
const char OLD_PREFIX[] = "old ";
const char NEW_PREFIX[] = "new ";
const char DELTA_PREFIX[] = "delta ";
const char ABSENT_MARK[] = "- ";

bool startsWith(const char* line, size_t length, const char* prefix, size_t prefixLength)
{
    return length >= prefixLength && memcmp(line, prefix, prefixLength) == 0;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool readHex(const char* text, size_t digits, uint8_t* bytes)
{
    for (size_t i = 0; i < digits; i += 2) {
        int high = hexValue(text[i]), low = hexValue(text[i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes[i / 2] = static_cast<uint8_t>(high << 4 | low);
    }
    return true;
}

char* writeHex(char* out, const uint8_t* bytes, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        *out++ = HEX_DIGITS[bytes[i] >> 4];
        *out++ = HEX_DIGITS[bytes[i] & 15];
    }
    return out;
}

char foldAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The rest of a line as a name: blanks and all, as a flat file may be named
// "game.exe -x"; never empty, NUL, CR or too long.
bool readName(const char* name, size_t length, char* into)
{
    if (length == 0 || length >= TEXT_CAPACITY || memchr(name, '\0', length) || memchr(name, '\r', length))
        return false;
    memcpy(into, name, length);
    into[length] = '\0';
    return true;
}

// "<64 hex digits> <decimal size> <name>"; at receives where the name begins.
bool readHashAndSize(const char* line, size_t length, uint8_t* sha256, uint64_t* sizeRead, size_t* nameAt)
{
    const size_t hexDigits = 2 * SHA256_BYTES;
    if (length < hexDigits + 4 || line[hexDigits] != ' ' || !readHex(line, hexDigits, sha256))
        return false;
    size_t at = hexDigits + 1;
    uint64_t size = 0;
    size_t digitsStart = at;
    for (; at < length && line[at] >= '0' && line[at] <= '9'; at++) {
        uint64_t digit = static_cast<uint64_t>(line[at] - '0');
        if (size > (UINT64_MAX - digit) / 10)
            return false;
        size = size * 10 + digit;
    }
    if (at == digitsStart || (line[digitsStart] == '0' && at - digitsStart > 1) || at >= length || line[at] != ' ')
        return false;
    *sizeRead = size;
    *nameAt = at + 1;
    return true;
}

// A flat file: its name holds no backslash.
bool readFileLine(const char* line, size_t length, ManifestFile* file)
{
    size_t at;
    return readHashAndSize(line, length, file->sha256, &file->size, &at) && !memchr(line + at, '\\', length - at) &&
           readName(line + at, length - at, file->name);
}

// "old <64 hex digits> <size> <path>" or "old - <path>", the prefix already seen.
bool readOldLine(const char* line, size_t length, ManifestOldFile* file)
{
    size_t absentLength = sizeof ABSENT_MARK - 1, at;
    file->absent = startsWith(line, length, ABSENT_MARK, absentLength);
    if (file->absent)
        return readName(line + absentLength, length - absentLength, file->path);
    return readHashAndSize(line, length, file->sha256, &file->size, &at) && readName(line + at, length - at, file->path);
}

// "delta <base's sha-256> <base's size> <sha-256> <size> <flat name>", the prefix already seen.
bool readDeltaLine(const char* line, size_t length, ManifestDelta* delta)
{
    size_t at;
    ManifestFile file;
    if (!readHashAndSize(line, length, delta->baseSha256, &delta->baseSize, &at) || !readFileLine(line + at, length - at, &file))
        return false;
    memcpy(delta->name, file.name, sizeof file.name);
    memcpy(delta->sha256, file.sha256, SHA256_BYTES);
    delta->size = file.size;
    return true;
}

// Every delta gives a listed file, from a base of its own; every file listed new has a delta.
bool deltasFit(const PatchManifest* manifest)
{
    for (int i = 0; i < manifest->deltaCount; i++) {
        const ManifestDelta& delta = manifest->deltas[i];
        if (!findManifestFile(manifest, delta.name))
            return false;
        for (int j = 0; j < i; j++)
            if (sameManifestName(manifest->deltas[j].name, delta.name) &&
                memcmp(manifest->deltas[j].baseSha256, delta.baseSha256, SHA256_BYTES) == 0)
                return false;
    }
    for (int i = 0; i < manifest->fileCount; i++) {
        int deltas = 0;
        for (int j = 0; j < manifest->deltaCount; j++)
            deltas += sameManifestName(manifest->deltas[j].name, manifest->files[i].name);
        if (manifest->files[i].onlyDeltas && deltas == 0)
            return false;
    }
    return true;
}

bool readSignatureLine(const char* line, size_t length, PatchManifest* manifest)
{
    size_t prefix = sizeof SIGNATURE_PREFIX - 1;
    size_t digits = length - prefix;
    uint8_t der[MAX_DER_SIGNATURE_BYTES];
    if (digits % 2 != 0 || digits > 2 * sizeof der || !readHex(line + prefix, digits, der))
        return false;
    manifest->hasSignature = signatureFromDer(der, digits / 2, manifest->signature);
    return manifest->hasSignature;
}

// One INTEGER of a DER signature: positive, minimal, at most 32 bytes once its
// sign byte is dropped; written right-aligned into 32 bytes.
bool readDerInteger(const uint8_t* der, size_t length, size_t* at, uint8_t* number)
{
    if (*at + 2 > length || der[*at] != 0x02)
        return false;
    size_t size = der[*at + 1];
    const uint8_t* value = der + *at + 2;
    if (size == 0 || size > 33 || *at + 2 + size > length || (value[0] & 0x80) ||
        (size > 1 && value[0] == 0 && !(value[1] & 0x80)))
        return false;
    if (value[0] == 0) {
        value++;
        size--;
    }
    if (size > 32)
        return false;
    memset(number, 0, 32 - size);
    memcpy(number + 32 - size, value, size);
    *at += 2 + der[*at + 1];
    return true;
}

size_t writeDerInteger(const uint8_t* number, uint8_t* der)
{
    size_t skip = 0;
    while (skip < 31 && number[skip] == 0)
        skip++;
    bool signByte = (number[skip] & 0x80) != 0;
    size_t size = 32 - skip + signByte;
    der[0] = 0x02;
    der[1] = static_cast<uint8_t>(size);
    der[2] = 0;
    memcpy(der + 2 + signByte, number + skip, 32 - skip);
    return 2 + size;
}

}  // namespace

bool sameManifestName(const char* a, const char* b)
{
    for (; *a && foldAscii(*a) == foldAscii(*b); a++, b++) {
    }
    return foldAscii(*a) == foldAscii(*b);
}

bool signatureFromDer(const uint8_t* der, size_t length, uint8_t raw[RAW_SIGNATURE_BYTES])
{
    if (length < 8 || der[0] != 0x30 || der[1] != length - 2)
        return false;
    size_t at = 2;
    return readDerInteger(der, length, &at, raw) && readDerInteger(der, length, &at, raw + 32) && at == length;
}

size_t signatureToDer(const uint8_t raw[RAW_SIGNATURE_BYTES], uint8_t der[MAX_DER_SIGNATURE_BYTES])
{
    size_t length = writeDerInteger(raw, der + 2);
    length += writeDerInteger(raw + 32, der + 2 + length);
    der[0] = 0x30;
    der[1] = static_cast<uint8_t>(length);
    return length + 2;
}

bool parseManifest(const char* bytes, size_t length, PatchManifest* manifest)
{
    memset(manifest, 0, sizeof *manifest);
    size_t headerLength = sizeof MANIFEST_HEADER - 1;
    manifest->badLine = 1;
    if (length < headerLength || memcmp(bytes, MANIFEST_HEADER, headerLength) != 0)
        return false;
    size_t at = headerLength;
    for (int lineNumber = 2; at < length; lineNumber++) {
        manifest->badLine = lineNumber;
        const char* line = bytes + at;
        const char* end = static_cast<const char*>(memchr(line, '\n', length - at));
        size_t lineLength = end ? static_cast<size_t>(end - line) : length - at;
        if (manifest->hasSignature)
            return false;  // nothing may follow the signature
        if (startsWith(line, lineLength, KEY_PREFIX, sizeof KEY_PREFIX - 1)) {
            if (lineNumber != 2 || lineLength != sizeof KEY_PREFIX - 1 + 2 * MANIFEST_KEY_BYTES ||
                !readHex(line + sizeof KEY_PREFIX - 1, 2 * MANIFEST_KEY_BYTES, manifest->key))
                return false;
            manifest->hasKey = true;
        } else if (startsWith(line, lineLength, OLD_PREFIX, sizeof OLD_PREFIX - 1)) {
            size_t prefix = sizeof OLD_PREFIX - 1;
            if (manifest->oldFileCount == MAX_OLD_FILES ||
                !readOldLine(line + prefix, lineLength - prefix, &manifest->oldFiles[manifest->oldFileCount]))
                return false;
            manifest->oldFileCount++;
        } else if (startsWith(line, lineLength, DELTA_PREFIX, sizeof DELTA_PREFIX - 1)) {
            size_t prefix = sizeof DELTA_PREFIX - 1;
            if (manifest->deltaCount == MAX_DELTAS ||
                !readDeltaLine(line + prefix, lineLength - prefix, &manifest->deltas[manifest->deltaCount]))
                return false;
            manifest->deltaCount++;
        } else if (startsWith(line, lineLength, SIGNATURE_PREFIX, sizeof SIGNATURE_PREFIX - 1)) {
            manifest->signedLength = at;
            if (!readSignatureLine(line, lineLength, manifest))
                return false;
        } else {
            if (manifest->fileCount == MAX_MANIFEST_FILES)
                return false;
            ManifestFile* file = &manifest->files[manifest->fileCount];
            size_t prefix = startsWith(line, lineLength, NEW_PREFIX, sizeof NEW_PREFIX - 1) ? sizeof NEW_PREFIX - 1 : 0;
            file->onlyDeltas = prefix != 0;
            if (!readFileLine(line + prefix, lineLength - prefix, file) || findManifestFile(manifest, file->name))
                return false;
            manifest->fileCount++;
        }
        at += lineLength + (end != nullptr);
    }
    if (!manifest->hasSignature)
        manifest->signedLength = length;
    if (!deltasFit(manifest))
        return false;  // badLine: the line after the last
    manifest->badLine = 0;
    return true;
}

const ManifestFile* findManifestFile(const PatchManifest* manifest, const char* name)
{
    for (int i = 0; i < manifest->fileCount; i++)
        if (sameManifestName(manifest->files[i].name, name))
            return &manifest->files[i];
    return nullptr;
}

void formatManifestLine(char* line, const char* name, uint64_t size, const uint8_t sha256[SHA256_BYTES])
{
    char* out = writeHex(line, sha256, SHA256_BYTES);
    *out++ = ' ';
    char digits[24];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + size % 10);
        size /= 10;
    } while (size > 0);
    while (count > 0)
        *out++ = digits[--count];
    *out++ = ' ';
    size_t nameLength = strlen(name);
    if (nameLength >= TEXT_CAPACITY)
        nameLength = TEXT_CAPACITY - 1;
    memcpy(out, name, nameLength);
    out += nameLength;
    *out++ = '\n';
    *out = '\0';
}

void formatNewLine(char* line, const char* name, uint64_t size, const uint8_t sha256[SHA256_BYTES])
{
    memcpy(line, NEW_PREFIX, sizeof NEW_PREFIX - 1);
    formatManifestLine(line + sizeof NEW_PREFIX - 1, name, size, sha256);
}

void formatDeltaLine(char* line, const ManifestDelta* delta)
{
    memcpy(line, DELTA_PREFIX, sizeof DELTA_PREFIX - 1);
    formatManifestLine(line + sizeof DELTA_PREFIX - 1, "", delta->baseSize, delta->baseSha256);
    formatManifestLine(line + strlen(line) - 1, delta->name, delta->size, delta->sha256);
}

bool deltaFileName(char* fileName, const char* name, const uint8_t baseSha256[SHA256_BYTES])
{
    size_t length = strlen(name);
    if (length + DELTA_NAME_SUFFIX >= TEXT_CAPACITY)
        return false;
    memcpy(fileName, name, length);
    fileName[length] = '.';
    char* out = writeHex(fileName + length + 1, baseSha256, 8);
    memcpy(out, ".vcdiff", sizeof ".vcdiff");
    return true;
}

void formatOldLine(char* line, const char* path, bool absent, uint64_t size, const uint8_t sha256[SHA256_BYTES])
{
    memcpy(line, OLD_PREFIX, sizeof OLD_PREFIX - 1);
    if (absent) {
        size_t pathLength = strlen(path);
        pathLength = pathLength < TEXT_CAPACITY ? pathLength : TEXT_CAPACITY - 1;
        memcpy(line + sizeof OLD_PREFIX - 1, ABSENT_MARK, sizeof ABSENT_MARK - 1);
        char* out = line + sizeof OLD_PREFIX - 1 + sizeof ABSENT_MARK - 1;
        memcpy(out, path, pathLength);
        out[pathLength] = '\n';
        out[pathLength + 1] = '\0';
    } else {
        formatManifestLine(line + sizeof OLD_PREFIX - 1, path, size, sha256);
    }
}

void formatKeyLine(char* line, const uint8_t key[MANIFEST_KEY_BYTES])
{
    memcpy(line, KEY_PREFIX, sizeof KEY_PREFIX - 1);
    char* out = writeHex(line + sizeof KEY_PREFIX - 1, key, MANIFEST_KEY_BYTES);
    *out++ = '\n';
    *out = '\0';
}

bool formatSignatureLine(char* line, const uint8_t* der, size_t derLength)
{
    uint8_t raw[RAW_SIGNATURE_BYTES];
    if (!signatureFromDer(der, derLength, raw))
        return false;
    memcpy(line, SIGNATURE_PREFIX, sizeof SIGNATURE_PREFIX - 1);
    char* out = writeHex(line + sizeof SIGNATURE_PREFIX - 1, der, derLength);
    *out++ = '\n';
    *out = '\0';
    return true;
}
