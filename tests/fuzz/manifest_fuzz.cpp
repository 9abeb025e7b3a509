// libFuzzer target over the manifest reader: any bytes either fail, or read as a
// manifest that, written again line by line, reads the same. The same bytes as
// a key file given to patchtool, public or private: an answer, never a crash.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "format/patch_manifest.h"
#include "patchtool/key_files.h"

#define CHECK(condition) ((condition) ? (void)0 : abort())

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static PatchManifest manifest, again;
    const char* bytes = reinterpret_cast<const char*>(data);
    for (bool wantPrivate : {false, true}) {
        std::string problem;
        CHECK(keyFromText(std::string(bytes, size), wantPrivate, problem) == problem.empty());
    }
    if (!parseManifest(bytes, size, &manifest)) {
        CHECK(manifest.badLine >= 1);
        return 0;
    }
    CHECK(manifest.fileCount >= 0 && manifest.fileCount <= MAX_MANIFEST_FILES && manifest.signedLength <= size);
    std::string text = MANIFEST_HEADER;
    char line[MANIFEST_LINE_CAPACITY];
    if (manifest.hasKey) {
        formatKeyLine(line, manifest.key);
        text += line;
    }
    for (int i = 0; i < manifest.fileCount; i++) {
        const ManifestFile& file = manifest.files[i];
        CHECK(memchr(file.name, '\0', TEXT_CAPACITY) && file.name[0] && findManifestFile(&manifest, file.name) == &file);
        formatManifestLine(line, file.name, file.size, file.sha256);
        text += line;
    }
    for (int i = 0; i < manifest.oldFileCount; i++) {
        const ManifestOldFile& old = manifest.oldFiles[i];
        formatOldLine(line, old.path, old.absent, old.size, old.sha256);
        text += line;
    }
    CHECK(text.size() == manifest.signedLength || manifest.hasSignature == false);
    if (manifest.hasSignature) {
        uint8_t der[MAX_DER_SIGNATURE_BYTES];
        CHECK(formatSignatureLine(line, der, signatureToDer(manifest.signature, der)));
        text += line;
    }
    CHECK(parseManifest(text.data(), text.size(), &again));
    CHECK(again.fileCount == manifest.fileCount && again.hasSignature == manifest.hasSignature);
    CHECK(memcmp(again.files, manifest.files, sizeof(ManifestFile) * manifest.fileCount) == 0);
    CHECK(again.oldFileCount == manifest.oldFileCount &&
          memcmp(again.oldFiles, manifest.oldFiles, sizeof(ManifestOldFile) * manifest.oldFileCount) == 0);
    CHECK(memcmp(again.signature, manifest.signature, sizeof again.signature) == 0);
    return 0;
}
