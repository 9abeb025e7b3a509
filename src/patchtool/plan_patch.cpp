#include "plan_patch.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

#include "file_marks.h"
#include "check_patch.h"
#include "patch_signing.h"
#include "format/disk_space.h"
#include "format/entry_rule.h"
#include "format/patch_manifest.h"
#include "format/number_rule.h"
#include "format/stage_results.h"
#include "format/update_script.h"
#include "format/version_gate.h"
#include "signing.h"
#include "vcdiff_encode.h"
#include "windows_names.h"

namespace fs = std::filesystem;

namespace {

bool sameBytes(const fs::path& one, const fs::path& other)
{
    if (fs::file_size(one) != fs::file_size(other))
        return false;
    std::ifstream a(one, std::ios::binary), b(other, std::ios::binary);
    return std::equal(std::istreambuf_iterator<char>(a), {}, std::istreambuf_iterator<char>(b));
}

fs::path below(const fs::path& folder, const std::string& entry)
{
    std::string path = entry;
    for (char& c : path)
        c = c == '\\' ? '/' : c;
    return folder / path;
}

std::string readBytes(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

bool sameVersion(const std::string& bytes, uint64_t size, const uint8_t* sha256)
{
    uint8_t digest[SHA256_BYTES];
    ::sha256(bytes.data(), bytes.size(), digest);
    return bytes.size() == size && memcmp(digest, sha256, SHA256_BYTES) == 0;
}

// A file shipped as deltas, as the updater meets it: the delta whose base is the installed file,
// decoded against it, must give the file the manifest lists.
std::string judgeDeltas(const fs::path& patch, const fs::path& destination, const PatchManifest& manifest,
                        const ManifestFile& listed, bool& fails)
{
    std::string installed = readBytes(destination), target, problem;
    fails = false;
    if (sameVersion(installed, listed.size, listed.sha256))
        return "unchanged";
    for (int i = 0; i < manifest.deltaCount; i++) {
        const ManifestDelta& delta = manifest.deltas[i];
        char name[TEXT_CAPACITY];
        if (!sameManifestName(delta.name, listed.name) || !sameVersion(installed, delta.baseSize, delta.baseSha256) ||
            !deltaFileName(name, delta.name, delta.baseSha256))
            continue;
        bool decoded = decodeVcdiffText(installed, readBytes(patch / name), &target, &problem);
        fails = !decoded || !sameVersion(target, listed.size, listed.sha256);
        return fails ? "fails: its delta " + std::string(name) + (decoded ? " gives another file than the manifest lists" : " " + problem)
                     : "replaced from its delta " + std::string(name) + " (" + std::to_string(delta.size) + " bytes)";
    }
    fails = true;
    return "fails: the installed file is none of the versions the update has deltas from; the player is told to "
           "reinstall or repair the game";
}

// What the updater's copy of one entry does, as a word and, when it fails, why: the facts as this
// machine shows them, judged by the updater's own rule (format/entry_rule.h).
std::string judgeEntry(const fs::path& patch, const fs::path& install, const FileEntry& entry, const PatchManifest* manifest,
                       SpaceUse& use, bool& fails)
{
    char composed[TEXT_CAPACITY];
    std::string target = entry.targetPath;
    size_t slash = target.rfind('\\');
    fs::path folder = slash == std::string::npos ? install : findAsWindows(install, target.substr(0, slash));
    fs::path source = patch / entry.sourceName, destination = findAsWindows(folder, target.substr(slash + 1));
    EntryFacts facts = {};
    facts.pathFits = composePath(composed, install.string().c_str(), entry.targetPath);
    facts.staysInside = staysInsideFolder(entry.targetPath);
    // As the updater does, only a path it would compose is looked at; no name is too long to ask about.
    std::error_code unreadable;
    bool asked = facts.pathFits && facts.staysInside;
    const ManifestFile* listed = manifest ? findManifestFile(manifest, entry.sourceName) : nullptr;
    bool byDeltas = listed && listed->onlyDeltas;
    facts.sourceError = asked && !byDeltas && !fs::is_regular_file(source, unreadable) ? 2 : 0;
    facts.folderError = asked && !fs::is_directory(folder, unreadable) ? 3 : 0;
    facts.destinationExists = asked && facts.folderError == 0 && fs::exists(destination, unreadable);
    facts.sameFile = facts.destinationExists && facts.sourceError == 0 && fs::equivalent(source, destination, unreadable);
    facts.destinationIsFolder = facts.destinationExists && fs::is_directory(destination, unreadable);
    facts.destinationReadOnlyOrHidden = facts.destinationExists && (isReadOnly(destination) || isHidden(destination));
    facts.sourceBytes = asked && facts.sourceError == 0 ? (byDeltas ? listed->size : fs::file_size(source, unreadable)) : 0;
    EntryVerdict verdict = ::judgeEntry(facts);
    use.newBytes = verdict.stagedBytes;
    fails = verdict.action == ENTRY_FAILS;
    if (byDeltas && verdict.action == ENTRY_REPLACES)
        return judgeDeltas(patch, destination, *manifest, *listed, fails);
    if (byDeltas && verdict.action == ENTRY_NEW)
        return fails = true, "fails: the installation has no file to apply its deltas to";
    switch (verdict.action) {
    case ENTRY_NEW:
        return "new";
    case ENTRY_IN_PLACE:
        return "in place";
    case ENTRY_REPLACES:
        return sameBytes(source, destination) ? "unchanged" : "replaced";
    default:
        break;
    }
    std::string code = " (error " + std::to_string(verdict.error) + ")";
    if (!facts.pathFits)
        return "fails: the path is longer than 259 characters" + code;
    if (!facts.staysInside)
        return "fails: it leaves the installation folder" + code;
    if (facts.sourceError)
        return "fails: the patch folder has no file \"" + std::string(entry.sourceName) + "\"" + code;
    if (facts.folderError)
        return "fails: the installation has no folder \"" +
               fs::relative(folder, install).generic_string() + "\", and the updater creates none" + code;
    if (facts.destinationIsFolder)
        return "fails: a folder of that name is installed" + code;
    return std::string("fails: the installed file is ") + (isReadOnly(destination) ? "read-only" : "hidden") +
           ", which the updater never overwrites" + code;
}

// The verdict as the player meets it; false when the update does not go on by itself.
bool judgeVersion(const UpdateScript& script, const std::string& installed, std::ostream& out)
{
    if (!script.fullMode) {
        out << "version: quiet mode, no version check\n";
        return true;
    }
    if (installed.empty()) {
        out << "version: not judged; give the installed version with --version N\n";
        return true;
    }
    const char* notices[] = {"goes on", "the player is told the installed version is too old, and the update ends",
                             "the player is asked whether to update a version that is up to date",
                             "the player is told the installed version is newer, and the update ends"};
    int verdict = versionVerdict(readNumber(script.patchVersion), readNumber(installed.c_str()),
                                 readNumber(script.minimumVersion));
    int index = verdict == RESULT_TOO_OLD ? 1 : verdict == RESULT_UP_TO_DATE ? 2 : verdict == RESULT_NEWER ? 3 : 0;
    out << "version: installed " << installed << ", patch " << script.patchVersion << ": " << notices[index] << "\n";
    return index == 0;
}

std::string megabytes(uint64_t bytes, bool roundUp)
{
    uint64_t tenths = tenthsOfMegabyte(bytes, roundUp);
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " MB";
}

}  // namespace

int planPatch(const fs::path& patch, const fs::path& install, const std::string& installedVersion,
              const std::string& expectedKey, Report& report, std::ostream& out)
{
    std::ifstream file(patch / "update.txt", std::ios::binary);
    if (!file || !fs::is_directory(install)) {
        report.error((file ? install : patch / "update.txt").generic_string(), "cannot be read");
        return 2;
    }
    std::string bytes(std::istreambuf_iterator<char>(file), {});
    static UpdateScript script;
    if (parseUpdateScript(bytes.data(), bytes.size(), &script) == SCRIPT_TOO_MANY_ENTRIES) {
        report.error((patch / "update.txt").generic_string(), "more than 50 file entries: the updater refuses it");
        return 1;
    }
    static PatchManifest manifest;
    std::string manifestBytes = readBytes(patch / MANIFEST_NAME);
    bool hasManifest = parseManifest(manifestBytes.data(), manifestBytes.size(), &manifest);
    std::vector<SpaceUse> uses(script.entryCount, SpaceUse{0, -1});
    std::set<std::string> touched;
    bool allCopy = true;
    for (int i = 0; i < script.entryCount; i++) {
        bool fails;
        std::string verdict = judgeEntry(patch, install, script.entries[i], hasManifest ? &manifest : nullptr, uses[i], fails);
        allCopy &= !fails;
        std::string target = foldCase(below(install, script.entries[i].targetPath).lexically_normal().generic_string());
        for (int earlier = 0; earlier < i && uses[i].newBytes > 0; earlier++)  // staged again in place of the first
            if (uses[earlier].newBytes > 0 &&
                foldCase(below(install, script.entries[earlier].targetPath).lexically_normal().generic_string()) == target)
                uses[i].sameFileAs = earlier;
        touched.insert(target);
        out << "  " << script.entries[i].targetPath << ": " << verdict << "\n";
    }
    size_t untouched = 0;
    for (const auto& item : fs::recursive_directory_iterator(install))
        untouched += item.is_regular_file() && !touched.count(foldCase(item.path().lexically_normal().generic_string()));
    out << counted(untouched, "file", "files") << " of the installation " << (untouched == 1 ? "stays as it is\n" : "stay as they are\n");
    bool goesOn = judgeVersion(script, installedVersion, out);
    uint64_t needed = peakSpaceNeeded(uses.data(), script.entryCount, 0), available = fs::space(install).available;
    out << "space: the copies need " << megabytes(needed, true) << " at their peak, " << megabytes(available, false)
        << " is free\n";
    bool fits = needed <= available;
    if (!fits)
        report.error(install.generic_string(), "the patch does not fit the free space; the updater refuses it");
    if (!allCopy)
        report.error(patch.generic_string(), "some entries would fail to copy");
    std::string facts;
    size_t before = report.items.size();
    checkManifest(patch, script, expectedKey, report, facts);
    bool verified = std::none_of(report.items.begin() + before, report.items.end(), [](const Report::Item& item) { return item.error; });
    // What check calls an error breaks every player, whatever this installation holds.
    Report checked;
    checkScript(patch, bytes, checked);
    for (const Report::Item& item : checked.items)
        if (item.error)
            report.items.push_back(item);
    bool passesCheck = checked.count(true) == 0;
    out << "manifest: " << (!fs::exists(patch / MANIFEST_NAME) ? "none, so nothing is verified" : verified ? "the files match it" : "the player is told the patch is damaged or not the publisher's")
        << facts << "\n";
    bool completes = allCopy && goesOn && fits && verified && passesCheck;
    out << (completes ? "plan: the update would complete\n" : "plan: the update would not complete\n");
    return completes ? 0 : 1;
}
