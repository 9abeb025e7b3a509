#include "patch_signing.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

#include "file_marks.h"
#include "signing.h"
#include "windows_names.h"
#include "windows_program.h"

#ifdef _WIN32
#include <io.h>
#define OWNER_ONLY (_S_IREAD | _S_IWRITE)
#else
#include <unistd.h>
#define OWNER_ONLY (S_IRUSR | S_IWUSR)
#define O_BINARY 0
#endif

namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Created new, never over an existing file, with the permissions it keeps.
bool writeNewFile(const fs::path& file, const std::string& text, int mode, std::string& problem)
{
    int handle = open(file.string().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_BINARY, mode);
    bool written = handle >= 0 && write(handle, text.data(), static_cast<unsigned>(text.size())) == static_cast<int>(text.size());
    problem = written ? "" : file.generic_string() + ": " + std::strerror(errno);
    if (handle >= 0)
        close(handle);
    return written;
}

// The flat files the manifest lists: update.txt, then each entry's, once.
std::vector<std::string> listedFiles(const UpdateScript& script)
{
    std::vector<std::string> names = {"update.txt"};
    std::set<std::string> seen = {"update.txt"};
    for (int i = 0; i < script.entryCount; i++)
        if (script.entries[i].sourceName[0] && seen.insert(foldCase(script.entries[i].sourceName)).second)
            names.push_back(script.entries[i].sourceName);
    return names;
}

std::string where(const fs::path& folder)
{
    return (folder / MANIFEST_NAME).generic_string();
}

// A file the manifest lists (a patch file or a delta) as it lies in the folder.
void checkListedFile(const fs::path& folder, const char* name, uint64_t listedSize, const uint8_t* listedSha256,
                     Report& report)
{
    fs::path file = folder / name;
    uint8_t digest[SHA256_BYTES];
    uint64_t size = 0;
    std::string problem;
    if (!fs::is_regular_file(file))
        report.error(where(folder), "lists \"" + std::string(name) +
                                        "\", which is not in the patch folder: every player is told the patch is "
                                        "damaged; add the file or sign the folder again");
    else if (!sha256OfFile(file, digest, &size, problem) || size != listedSize ||
             memcmp(digest, listedSha256, SHA256_BYTES) != 0)
        report.error(file.generic_string(), problem.empty() ? "differs from its size and SHA-256 in " MANIFEST_NAME
                                                              ": it was changed after signing, or the download is "
                                                              "damaged; sign the folder again"
                                                            : "cannot be read: " + problem);
}

void checkListedFiles(const fs::path& folder, const UpdateScript& script, const PatchManifest& manifest, Report& report)
{
    for (int i = 0; i < manifest.fileCount; i++)
        if (!manifest.files[i].onlyDeltas)
            checkListedFile(folder, manifest.files[i].name, manifest.files[i].size, manifest.files[i].sha256, report);
    for (int i = 0; i < manifest.deltaCount; i++) {
        char name[TEXT_CAPACITY];
        const ManifestDelta& delta = manifest.deltas[i];
        if (!deltaFileName(name, delta.name, delta.baseSha256))
            report.error(where(folder), "lists a delta of \"" + std::string(delta.name) +
                                            "\", whose name is too long for a delta's file: ship the file whole");
        else
            checkListedFile(folder, name, delta.size, delta.sha256, report);
    }
    for (const std::string& name : listedFiles(script))
        if (!findManifestFile(&manifest, name.c_str()) && fs::exists(folder / name))
            report.error(where(folder), "does not list \"" + name +
                                            "\": the updater refuses a patch file that the manifest does not vouch "
                                            "for; sign the folder again");
}

// The "old" lines of one installed path: each distinct version the trees hold, and "-" when one lacks it.
bool addOldLines(const std::vector<fs::path>& trees, const std::string& path, std::string& lines, std::string& problem)
{
    std::set<std::string> written;
    char line[MANIFEST_LINE_CAPACITY];
    for (const fs::path& tree : trees) {
        fs::path file = findAsWindows(tree, path);
        uint8_t digest[SHA256_BYTES] = {};
        uint64_t size = 0;
        bool present = fs::is_regular_file(file);
        if (present && !sha256OfFile(file, digest, &size, problem)) {
            problem = file.generic_string() + ": " + problem;
            return false;
        }
        formatOldLine(line, path.c_str(), !present, size, digest);
        if (written.insert(line).second)
            lines += line;
    }
    return true;
}

// A file every tree holds that no entry installs, so that a folder the patch adds every file to still proves itself.
std::string anchorOf(const std::vector<fs::path>& trees, const std::set<std::string>& installed)
{
    std::vector<std::string> candidates;
    for (const auto& item : fs::recursive_directory_iterator(trees[0]))
        if (item.is_regular_file() && !item.is_symlink()) {
            std::string path;
            for (const auto& part : fs::relative(item.path(), trees[0]))
                path += (path.empty() ? "" : "\\") + part.string();
            candidates.push_back(path);
        }
    std::sort(candidates.begin(), candidates.end());
    for (const std::string& path : candidates) {
        bool everywhere = path.size() < TEXT_CAPACITY && !installed.count(foldCase(path));
        for (const fs::path& tree : trees)
            everywhere = everywhere && fs::is_regular_file(findAsWindows(tree, path));
        if (everywhere)
            return path;
    }
    return "";
}

// The lines of a manifest already in folder that begin with one of prefixes, to be kept when it
// is signed again.
std::string keptLines(const fs::path& folder, std::initializer_list<const char*> prefixes)
{
    std::string bytes = readAll(folder / MANIFEST_NAME), lines;
    for (size_t at = 0, end; at < bytes.size(); at = end + 1) {
        end = bytes.find('\n', at);
        if (end == std::string::npos)
            break;
        for (const char* prefix : prefixes)
            if (bytes.compare(at, strlen(prefix), prefix) == 0)
                lines += bytes.substr(at, end + 1 - at);
    }
    return lines;
}

bool oldLinesOf(const fs::path& folder, const UpdateScript& script, const std::vector<fs::path>& trees,
                std::string& lines, std::string& problem)
{
    if (trees.empty()) {
        lines = keptLines(folder, {"old "});
        return true;
    }
    std::set<std::string> installed;
    for (int i = 0; i < script.entryCount; i++) {
        const FileEntry& entry = script.entries[i];
        if (entry.sourceName[0] && installed.insert(foldCase(entry.targetPath)).second &&
            !addOldLines(trees, entry.targetPath, lines, problem))
            return false;
    }
    std::string anchor = anchorOf(trees, installed);
    return anchor.empty() || addOldLines(trees, anchor, lines, problem);
}

bool verifies(const uint8_t key[PUBLIC_KEY_BYTES], const std::string& bytes, const PatchManifest& manifest)
{
    return manifest.hasSignature && verifyBody(key, bytes.data(), manifest.signedLength, manifest.signature);
}

}  // namespace

void deltaShipped(const fs::path& folder, std::set<std::string>& files, std::set<std::string>& deltaFiles)
{
    static PatchManifest manifest;
    std::string bytes = readAll(folder / MANIFEST_NAME);
    if (!parseManifest(bytes.data(), bytes.size(), &manifest))
        return;
    for (int i = 0; i < manifest.fileCount; i++)
        if (manifest.files[i].onlyDeltas)
            files.insert(foldCase(manifest.files[i].name));
    for (int i = 0; i < manifest.deltaCount; i++) {
        char name[TEXT_CAPACITY];
        if (deltaFileName(name, manifest.deltas[i].name, manifest.deltas[i].baseSha256))
            deltaFiles.insert(foldCase(name));
    }
}

std::vector<DeltaFacts> deltasListed(const fs::path& folder, const std::string& name)
{
    static PatchManifest manifest;
    std::vector<DeltaFacts> facts;
    std::string bytes = readAll(folder / MANIFEST_NAME);
    const ManifestFile* listed = parseManifest(bytes.data(), bytes.size(), &manifest) ? findManifestFile(&manifest, name.c_str()) : nullptr;
    for (int i = 0; listed && i < manifest.deltaCount; i++) {
        const ManifestDelta& delta = manifest.deltas[i];
        char file[TEXT_CAPACITY];
        if (!sameManifestName(delta.name, name.c_str()) || !deltaFileName(file, delta.name, delta.baseSha256))
            continue;
        std::string base = file + strlen(delta.name) + 1;
        base.resize(16);
        facts.push_back({file, "delta from " + base + " (" + std::to_string(delta.baseSize) + " bytes): " +
                                   std::to_string(listed->size) + " -> " + std::to_string(delta.size) + " bytes",
                         delta.size});
    }
    return facts;
}

bool writeManifest(const fs::path& folder, const UpdateScript& script, const std::string& privatePem,
                   const std::vector<fs::path>& oldTrees, const std::string* deltaLines, std::string& problem)
{
    char line[MANIFEST_LINE_CAPACITY];
    std::string body = MANIFEST_HEADER, files, oldLines;
    if (!oldLinesOf(folder, script, oldTrees, oldLines, problem))
        return false;
    for (const std::string& name : listedFiles(script)) {
        uint8_t digest[SHA256_BYTES];
        uint64_t size = 0;
        if (!fs::exists(folder / name))
            continue;  // check tells
        if (!sha256OfFile(folder / name, digest, &size, problem)) {
            problem = (folder / name).generic_string() + ": " + problem;
            return false;
        }
        formatManifestLine(line, name.c_str(), size, digest);
        files += line;
    }
    files += deltaLines ? *deltaLines : keptLines(folder, {"new ", "delta "});
    files += oldLines;
    if (!privatePem.empty()) {
        uint8_t signature[RAW_SIGNATURE_BYTES], publicKey[PUBLIC_KEY_BYTES], der[MAX_DER_SIGNATURE_BYTES];
        std::string throwaway;
        // The key line is signed too: sign once to learn the public half, then sign what is written.
        if (!signBody(privatePem, body, signature, publicKey, problem))
            return false;
        formatKeyLine(line, publicKey);
        body += line + files;
        signBody(privatePem, body, signature, publicKey, throwaway);
        formatSignatureLine(line, der, signatureToDer(signature, der));
        body += line;
    } else {
        body += files;
    }
    fs::path manifest = folder / MANIFEST_NAME;
    std::ofstream out(manifest, std::ios::binary | std::ios::trunc);
    if (!(out << body).flush()) {
        problem = manifest.generic_string() + ": cannot be written";
        return false;
    }
    out.close();
    makePlain(manifest);
    return true;
}

bool writeKeyPair(const fs::path& key, std::string& problem)
{
    fs::path publicFile = key;
    publicFile += ".pub";
    for (const fs::path& file : {key, publicFile})
        if (fs::exists(fs::symlink_status(file))) {
            problem = file.generic_string() + ": exists; keygen never overwrites a key";
            return false;
        }
    uint8_t privateKey[PRIVATE_KEY_BYTES], publicKey[PUBLIC_KEY_BYTES];
    if (!generateKeyPair(privateKey, publicKey)) {
        problem = "the system could not make a key";
        return false;
    }
    std::string privatePem = pemEncode(pkcs8FromKeyPair(privateKey, publicKey), "PRIVATE KEY");
    bool written = writeNewFile(key, privatePem, OWNER_ONLY, problem) &&
                   writeNewFile(publicFile, pemEncode(spkiFromPublicKey(publicKey), "PUBLIC KEY"), 0644, problem);
    std::fill(privatePem.begin(), privatePem.end(), '\0');
    memset(privateKey, 0, sizeof privateKey);
    return written;
}

bool updaterPatchKey(const fs::path& updater, uint8_t publicKey[PUBLIC_KEY_BYTES])
{
    std::string bytes = readAll(updater), marker(UPDATER_KEY_MARKER, sizeof UPDATER_KEY_MARKER);  // with its NUL
    size_t at = bytes.find(marker);
    if (at == std::string::npos || bytes.size() - at - marker.size() < PUBLIC_KEY_BYTES)
        return false;
    memcpy(publicKey, bytes.data() + at + marker.size(), PUBLIC_KEY_BYTES);
    return std::any_of(publicKey, publicKey + PUBLIC_KEY_BYTES, [](uint8_t byte) { return byte != 0; });
}

void checkManifest(const fs::path& folder, const UpdateScript& script, const std::string& expectedKey, Report& report,
                   std::string& facts)
{
    uint8_t updaterKey[PUBLIC_KEY_BYTES], givenKey[PUBLIC_KEY_BYTES];
    bool updaterKeyed = updaterPatchKey(folder / "updater.exe", updaterKey);
    bool given = !expectedKey.empty() && readPublicKey(expectedKey, givenKey);
    if (!expectedKey.empty() && !given)
        report.error("--key", "holds no ECDSA P-256 public key (SubjectPublicKeyInfo PEM, as keygen writes KEY.pub)");
    if (updaterKeyed)
        facts += "; updater.exe holds key " + keyFingerprint(updaterKey);
    std::string version;
    if (isWindowsProgram(folder / "updater.exe", version) && !carriesAuthenticode(folder / "updater.exe"))
        report.warning((folder / "updater.exe").generic_string(),
                       "carries no Authenticode signature: Windows warns players of an unknown publisher and "
                       "SmartScreen may stop it; sign updater.exe with your certificate before you build the patch, "
                       "and build with the signed one");
    std::string bytes = readAll(folder / MANIFEST_NAME);
    if (!fs::exists(folder / MANIFEST_NAME)) {
        if (updaterKeyed || given)
            report.error(where(folder), std::string("missing: ") +
                                            (updaterKeyed ? "the updater.exe here holds a patch key and refuses a "
                                                            "patch that is not signed with it"
                                                          : "the patch is not signed") +
                                            ": sign it with patchtool sign FOLDER KEY");
        return;
    }
    static PatchManifest manifest;
    if (!parseManifest(bytes.data(), bytes.size(), &manifest)) {
        bool converted = bytes.find("\r\n") != std::string::npos;
        report.error(where(folder) + ":" + std::to_string(manifest.badLine),
                     converted ? "its line ends were converted to CR LF (git's autocrlf, FTP in text mode), so every "
                                 "player is told the patch is damaged: ship the folder byte for byte (a binary "
                                 "transfer; -text for it in .gitattributes), or sign it again"
                               : "cannot be read as a manifest, so every player is told the patch is damaged: sign "
                                 "the folder again");
        return;
    }
    checkListedFiles(folder, script, manifest, report);
    if (manifest.hasSignature && manifest.hasKey)
        facts += "; signed with key " + keyFingerprint(manifest.key);
    if (!manifest.hasSignature && (updaterKeyed || given))
        report.error(where(folder), "is not signed: the updater with the vendor's key refuses it; sign it with "
                                    "patchtool sign FOLDER KEY");
    if (manifest.hasSignature && manifest.hasKey && !verifies(manifest.key, bytes, manifest))
        report.error(where(folder), "its signature does not verify: the manifest was changed after signing; sign "
                                    "the folder again");
    if (manifest.hasSignature && given && !verifies(givenKey, bytes, manifest))
        report.error(where(folder), "is not signed with the key of --key " + keyFingerprint(givenKey));
    if (manifest.hasSignature && updaterKeyed && !verifies(updaterKey, bytes, manifest))
        report.error(where(folder), "is not signed with the key that updater.exe holds, " + keyFingerprint(updaterKey) +
                                        ": every player is told the update does not come from the game's publisher");
    if (manifest.oldFileCount == 0)
        report.warning(where(folder), "lists no old versions of the game's files, so no updater installs it into a "
                                      "folder that needs administrator rights (such as under Program Files): "
                                      "build it with this kit, or sign it with --old for each version it updates");
    if (manifest.hasSignature && !updaterKeyed && fs::exists(folder / "updater.exe"))
        report.warning((folder / "updater.exe").generic_string(),
                       "holds no patch key: it checks the files against the manifest but cannot tell who signed "
                       "them; ship the updater.exe built with your key");
}
