#include "build_patch.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <set>
#include <vector>

#include "check_patch.h"
#include "patch_signing.h"
#include "file_marks.h"
#include "signing.h"
#include "vcdiff_encode.h"
#include "format/patch_manifest.h"
#include "format/update_script.h"
#include "windows_names.h"
#include "windows_program.h"

namespace fs = std::filesystem;

namespace {

struct Shipped {
    fs::path relative;
    std::string entry;  // the relative path with backslashes
};

// A file of either tree that cannot be read: the build stops, naming it and the system's reason.
struct Unreadable {
    fs::path path;
    std::string reason;
};

std::string readWhole(const fs::path& path);

std::ifstream openToRead(const fs::path& path)
{
    errno = 0;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw Unreadable{path, errno ? std::strerror(errno) : "unknown reason"};
    return file;
}

bool sameContents(const fs::path& one, const fs::path& other)
{
    std::error_code failed;
    if (!fs::is_regular_file(other) || fs::file_size(one, failed) != fs::file_size(other, failed))
        return false;
    std::ifstream a = openToRead(one), b = openToRead(other);
    static char bufferA[1 << 16], bufferB[1 << 16];
    while (a && b) {
        a.read(bufferA, sizeof bufferA);
        b.read(bufferB, sizeof bufferB);
        if (a.gcount() != b.gcount() || !std::equal(bufferA, bufferA + a.gcount(), bufferB))
            return false;
    }
    return !a && !b;
}

// The regular files below root. Anything else but a folder (a symbolic link, a
// device, a pipe) is an error: the patch would silently lack it.
std::vector<fs::path> filesBelow(const fs::path& root, Report& report)
{
    std::vector<fs::path> files;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        if (item.is_symlink())
            report.error(item.path().generic_string(), "is a symbolic link, which a patch cannot ship: put the file "
                                                       "or folder it points to in its place");
        else if (item.is_regular_file())
            files.push_back(fs::relative(item.path(), root));
        else if (!item.is_directory())
            report.error(item.path().generic_string(), "is neither a file nor a folder (a device or a pipe), which "
                                                       "a patch cannot ship: remove it");
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string entryOf(const fs::path& relative)
{
    std::string entry;
    for (const auto& part : relative)
        entry += (entry.empty() ? "" : "\\") + part.string();
    return entry;
}

// What the script format cannot say, or "".
std::string inexpressible(const std::string& entry)
{
    if (std::string("/;#:").find(entry[0]) != std::string::npos)
        return "begins with \"" + entry.substr(0, 1) + "\", so the updater reads the line as a comment";
    if (entry.compare(0, 3, "RUN") == 0 && (entry[3] == ' ' || entry[3] == '\t'))
        return "begins with RUN and a blank, so the updater reads it as the program to launch";
    if (entry.size() > 259)
        return "is " + std::to_string(entry.size()) + " characters long; an entry holds at most 259";
    return refusedByWindows(entry);
}

// A tree's files by their folded path: Windows finds Ambient.WAV as ambient.wav.
std::map<std::string, fs::path> byFoldedPath(const std::vector<fs::path>& files)
{
    std::map<std::string, fs::path> folded;
    for (const fs::path& file : files)
        folded.emplace(foldCase(file.generic_string()), file);
    return folded;
}

// The files of NEW that are new or changed against any OLD tree, in a stable order; progress on a
// terminal. A file whose name changed only in case is the same file to Windows: the updater
// replaces its contents, under its old name, since the format cannot rename.
// treeDiffers[t] tells whether OLD tree t has any of NEW's files otherwise than NEW.
std::vector<Shipped> changedFiles(const BuildRequest& request, const std::vector<fs::path>& files,
                                  const std::vector<std::map<std::string, fs::path>>& oldFiles, Report& report,
                                  bool showProgress, std::vector<bool>& treeDiffers)
{
    std::vector<Shipped> changed;
    treeDiffers.assign(oldFiles.size(), false);
    for (size_t i = 0; i < files.size(); i++) {
        if (showProgress)
            std::cerr << "\rcomparing " << i + 1 << " of " << files.size() << " files" << std::flush;
        bool differs = false;
        for (size_t tree = 0; tree < oldFiles.size(); tree++) {
            auto old = oldFiles[tree].find(foldCase(files[i].generic_string()));
            fs::path before = old == oldFiles[tree].end() ? files[i] : old->second;
            bool same = sameContents(request.newTree / files[i], request.oldTrees[tree] / before);
            differs |= !same;
            treeDiffers[tree] = treeDiffers[tree] || !same;
            if (before != files[i])
                report.warning((request.newTree / files[i]).generic_string(),
                               "was " + before.generic_string() + " in " + request.oldTrees[tree].generic_string() +
                                   "; the updater cannot rename, so the installed file keeps its old name" +
                                   (same ? "" : " and receives the new contents"));
        }
        if (differs)
            changed.push_back({files[i], entryOf(files[i])});
    }
    if (showProgress)
        std::cerr << "\r\033[K" << std::flush;
    return changed;
}

void checkShipped(const BuildRequest& request, const std::vector<Shipped>& shipped, Report& report)
{
    std::map<std::string, const Shipped*> byFlatName;
    for (const Shipped& file : shipped) {
        std::string where = (request.newTree / file.relative).generic_string();
        fs::path folder = file.relative.parent_path();
        for (const fs::path& tree : request.oldTrees)
            if (!folder.empty() && !fs::is_directory(findAsWindows(tree, entryOf(folder))))
                report.error(where, "the folder \"" + folder.generic_string() + "\" is not in " +
                                        (request.oldTrees.size() > 1 ? tree.generic_string() : std::string("OLD")) +
                                        " and the updater creates no folders: ship it with a full install");
        std::string reason = inexpressible(file.entry);
        if (!reason.empty())
            report.error(where, "\"" + file.entry + "\" " + reason + ": rename it");
        std::string flatName = foldCase(file.relative.filename().string());
        if (flatName == "updater.exe" || flatName == "update.txt" || flatName == MANIFEST_NAME)
            report.error(where, "is named " + flatName + ", as the patch folder's own " + flatName +
                                    " is: the two cannot lie in one flat folder; ship it with a full install");
        auto [other, first] = byFlatName.emplace(flatName, &file);
        if (!first && !sameContents(request.newTree / file.relative, request.newTree / other->second->relative))
            report.error(where, "shares its base name with \"" + other->second->entry +
                                    "\" but not its contents; the patch folder is flat: rename one of them");
    }
    if (shipped.size() > MAX_FILE_ENTRIES)
        report.error(request.newTree.generic_string(), std::to_string(shipped.size()) +
                                                           " files to ship; the updater takes at most 50: split the "
                                                           "patch in two");
}

// The file's line in update.txt: the --run program comes last, marked.
std::string scriptLine(const BuildRequest& request, const std::vector<Shipped>& shipped, const Shipped& file)
{
    return (!request.run.empty() && &file == &shipped.back() ? "RUN " : "") + file.entry;
}

std::string scriptText(const BuildRequest& request, const std::vector<Shipped>& shipped)
{
    std::string text = request.key + "\r\n" + request.version + "\r\n" + request.minimum + "\r\n" +
                       (request.quiet ? "0" : "1") + "\r\n";
    for (const Shipped& file : shipped)
        text += scriptLine(request, shipped, file) + "\r\n";
    return text;
}

std::string readWhole(const fs::path& path)
{
    std::ifstream file = openToRead(path);
    std::string bytes((std::istreambuf_iterator<char>(file)), {});
    if (file.bad())
        throw Unreadable{path, "read error"};
    return bytes;
}

bool wantedWhole(const BuildRequest& request, const Shipped& file)
{
    if (request.noDelta)
        return true;
    for (std::string whole : request.wholeFiles) {
        std::replace(whole.begin(), whole.end(), '/', '\\');
        if (foldCase(whole) == foldCase(file.entry))
            return true;
    }
    return false;
}

// The deltas of one flat file from each distinct old version its entries replace, written into
// folder with their manifest lines; false, writing nothing, when the file ships whole: asked to,
// one OLD lacks it, a delta's name would be too long, or a delta is no smaller than the file.
bool writeDeltas(const BuildRequest& request, const std::vector<const Shipped*>& entries, const fs::path& folder,
                 std::string& lines)
{
    std::string flat = entries[0]->relative.filename().string(), target = readWhole(request.newTree / entries[0]->relative);
    std::map<std::string, ManifestDelta> byBase;
    std::map<std::string, std::string> deltaOf;
    for (const Shipped* entry : entries) {
        if (wantedWhole(request, *entry))
            return false;
        for (const fs::path& tree : request.oldTrees) {
            fs::path old = findAsWindows(tree, entry->entry);
            if (!fs::is_regular_file(old))
                return false;
            std::string base = readWhole(old);
            ManifestDelta delta = {};
            sha256(base.data(), base.size(), delta.baseSha256);
            std::string key((const char*)delta.baseSha256, SHA256_BYTES);
            if (byBase.count(key))
                continue;
            std::string bytes = encodeVcdiff(base, target);
            char name[TEXT_CAPACITY];
            if (bytes.size() >= target.size() || !deltaFileName(name, flat.c_str(), delta.baseSha256))
                return false;
            memcpy(delta.name, flat.c_str(), flat.size() + 1);
            delta.baseSize = base.size();
            delta.size = bytes.size();
            sha256(bytes.data(), bytes.size(), delta.sha256);
            byBase[key] = delta;
            deltaOf[name] = bytes;
        }
    }
    uint8_t digest[SHA256_BYTES];
    sha256(target.data(), target.size(), digest);
    char line[MANIFEST_LINE_CAPACITY];
    formatNewLine(line, flat.c_str(), target.size(), digest);
    lines += line;
    for (const auto& [key, delta] : byBase) {
        formatDeltaLine(line, &delta);
        lines += line;
    }
    for (const auto& [name, bytes] : deltaOf)
        std::ofstream(folder / name, std::ios::binary) << bytes;
    return true;
}

bool writePatch(const BuildRequest& request, const std::vector<Shipped>& shipped, const fs::path& folder,
                std::string& deltaLines)
{
    fs::create_directories(folder);
    std::ofstream script(folder / "update.txt", std::ios::binary);
    script << scriptText(request, shipped);
    // Entries that share a flat file (the run entry listed twice) share its deltas too.
    std::map<std::string, std::vector<const Shipped*>> byFlatName;
    for (const Shipped& file : shipped)
        byFlatName[foldCase(file.relative.filename().string())].push_back(&file);
    for (const auto& [flat, entries] : byFlatName) {
        fs::path copy = folder / entries[0]->relative.filename();
        if (!writeDeltas(request, entries, folder, deltaLines) && fs::copy_file(request.newTree / entries[0]->relative, copy))
            makePlain(copy);  // a read-only or hidden file, once installed, would refuse every later patch
    }
    if (!request.updater.empty()) {
        fs::copy_file(request.updater, folder / "updater.exe");
        makePlain(folder / "updater.exe");
    }
    return bool(script.flush());
}

// The script's entries in order with the bytes each ships (its flat file, or its deltas), and the total.
void printSummary(const BuildRequest& request, const std::vector<Shipped>& shipped, std::ostream& out)
{
    uintmax_t total = 0;
    std::set<std::string> shown;
    for (const Shipped& file : shipped) {
        std::vector<DeltaFacts> deltas = deltasListed(request.out, file.relative.filename().string());
        uintmax_t size = deltas.empty() ? fs::file_size(request.out / file.relative.filename()) : 0;
        for (const DeltaFacts& delta : deltas)
            size += delta.size;
        bool first = shown.insert(foldCase(file.relative.filename().string())).second;
        total += first ? size : 0;
        out << std::setw(12) << size << "  " << scriptLine(request, shipped, file) << "\n";
        for (const DeltaFacts& delta : deltas)
            out << std::setw(14) << "" << delta.words << "\n";
    }
    std::string version;
    isWindowsProgram(request.out / "updater.exe", version);
    out << counted(shipped.size(), "entry", "entries") << ", " << counted(total, "byte", "bytes") << ", in "
        << request.out.generic_string() << (version.empty() ? "" : ", with updater.exe " + version) << "\n";
}

bool isInside(const fs::path& path, const fs::path& folder)
{
    fs::path inner = fs::weakly_canonical(path), outer = fs::weakly_canonical(folder);
    auto [end, rest] = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
    return end == outer.end();
}

// True when some OLD tree has a file that NEW lacks.
bool onlyRemoved(const std::vector<std::vector<fs::path>>& oldFiles, const std::map<std::string, fs::path>& newByName)
{
    for (const std::vector<fs::path>& files : oldFiles)
        for (const fs::path& file : files)
            if (!newByName.count(foldCase(file.generic_string())))
                return true;
    return false;
}

// A cumulative build's OLD trees as a vendor may mistype them: one given twice, or NEW itself.
void warnAboutTrees(const BuildRequest& request, const std::vector<fs::path>& newFiles,
                    const std::vector<std::vector<fs::path>>& oldFiles, const std::vector<bool>& treeDiffers,
                    Report& report)
{
    std::error_code unreadable;
    for (size_t tree = 0; tree < request.oldTrees.size(); tree++) {
        const fs::path& old = request.oldTrees[tree];
        for (size_t earlier = 0; earlier < tree; earlier++)
            if (fs::equivalent(request.oldTrees[earlier], old, unreadable))
                report.warning(old.generic_string(), "is given twice as an OLD tree (as " +
                                                         request.oldTrees[earlier].generic_string() + "): once is enough");
        bool cumulative = request.oldTrees.size() > 1;  // with one OLD, "nothing changed" says it all
        if (cumulative && !treeDiffers[tree] && oldFiles[tree].size() == newFiles.size())
            report.warning(old.generic_string(), "equals NEW file for file: its players have nothing to update, and a "
                                                 "version the patch should update may be missing from the OLD trees");
    }
}

// Refuses what makes the build impossible before anything is compared.
bool checkRequest(const BuildRequest& request, Report& report)
{
    std::vector<fs::path> trees = request.oldTrees;
    trees.push_back(request.newTree);
    for (const fs::path& tree : trees)
        if (!fs::is_directory(tree)) {
            report.error(tree.generic_string(), "not a folder");
            return false;
        }
    if (fs::exists(request.out) && !(fs::is_directory(request.out) && fs::is_empty(request.out))) {
        report.error(request.out.generic_string(), "exists and is not empty; the tool never overwrites anything");
        return false;
    }
    for (const fs::path& tree : trees)
        if (isInside(request.out, tree)) {
            report.error(request.out.generic_string(), "lies inside " + tree.generic_string() +
                                                           ", so the patch would become part of the game: write "
                                                           "it outside both trees");
            return false;
        }
    return true;
}

// The patch is written beside OUT and checked there; only a patch without an error becomes OUT,
// so that nothing at all is left behind by a refused build.
BuildResult writeAndCheck(const BuildRequest& request, const std::vector<Shipped>& shipped, Report& report)
{
    fs::path draft = request.out;
    draft += ".partial";
    fs::remove_all(draft);
    std::string deltaLines;
    if (!writePatch(request, shipped, draft, deltaLines)) {
        fs::remove_all(draft);
        report.error(request.out.generic_string(), "could not be written");
        return CANNOT;
    }
    Report checked;
    std::string problem;
    static UpdateScript script;
    std::string bytes = scriptText(request, shipped);
    parseUpdateScript(bytes.data(), bytes.size(), &script);
    if (!writeManifest(draft, script, request.signingKey, request.oldTrees, &deltaLines, problem)) {
        fs::remove_all(draft);
        report.error((request.signingKey.empty() ? request.out : request.signingKeyFile).generic_string(), problem);
        return CANNOT;
    }
    std::string noKey;
    checkPatch(draft, checked, problem, &noKey);
    std::string draftName = draft.generic_string(), outName = request.out.generic_string();
    // The folder is not written yet: the advice to sign it is --sign for this build.
    const std::string signAfterwards = "patchtool sign FOLDER KEY";
    for (Report::Item& item : checked.items) {
        if (item.where.rfind(draftName, 0) == 0)
            item.where.replace(0, draftName.size(), outName);
        size_t advice = item.text.find(signAfterwards);
        if (advice != std::string::npos)
            item.text.replace(advice, signAfterwards.size(), "--sign KEY in this build");
        bool toldAlready = item.where == (request.out / "updater.exe").generic_string() && request.updater.empty();
        if (!toldAlready)  // build said, in its own words, to give --updater
            report.items.push_back(item);
    }
    if (report.hasError()) {
        fs::remove_all(draft);
        return REFUSED;
    }
    fs::remove(request.out);  // empty, or absent
    fs::rename(draft, request.out);
    return BUILT;
}

BuildResult buildChecked(const BuildRequest& request, Report& report, std::ostream& out, bool showProgress)
{
    if (!checkRequest(request, report))
        return CANNOT;
    std::string version;
    if (!request.updater.empty() && !isWindowsProgram(request.updater, version)) {
        report.error(request.updater.generic_string(), "is not a Windows program: give the kit's updater.exe to "
                                                       "--updater");
        return REFUSED;
    }
    std::vector<fs::path> newFiles = filesBelow(request.newTree, report);
    std::vector<std::vector<fs::path>> oldFiles;
    std::vector<std::map<std::string, fs::path>> oldByPath;
    for (const fs::path& tree : request.oldTrees) {
        oldFiles.push_back(filesBelow(tree, report));
        oldByPath.push_back(byFoldedPath(oldFiles.back()));
    }
    std::vector<bool> treeDiffers;
    std::vector<Shipped> shipped = changedFiles(request, newFiles, oldByPath, report, showProgress, treeDiffers);
    warnAboutTrees(request, newFiles, oldFiles, treeDiffers, report);
    if (shipped.empty())
        report.error(request.newTree.generic_string(),
                     onlyRemoved(oldFiles, byFoldedPath(newFiles))
                         ? "nothing to ship: NEW only lacks files of OLD, and the format cannot delete files (they "
                           "stay installed): ship a full install to remove them"
                         : "nothing changed between OLD and NEW: there is no patch to build");
    if (!request.run.empty()) {
        std::string runPath = request.run;
        std::replace(runPath.begin(), runPath.end(), '\\', '/');
        fs::path run = fs::path(runPath).lexically_normal();
        auto found = std::find_if(shipped.begin(), shipped.end(), [&](const Shipped& f) { return f.relative == run; });
        if (!fs::is_regular_file(request.newTree / run))
            report.error(request.newTree.generic_string(),
                         "--run names \"" + request.run + "\", which is not a file of NEW" +
                             (request.run.find(' ') != std::string::npos
                                  ? ": a run entry is also the name of the file it installs, so it cannot carry "
                                    "arguments; ship a launcher (start.bat holding @start \"\" game.exe -windowed) "
                                    "and give --run start.bat"
                                  : ""));
        else if (found == shipped.end())
            shipped.push_back({run, entryOf(run)});
        else
            std::rotate(found, found + 1, shipped.end());
    }
    checkShipped(request, shipped, report);
    std::map<std::string, fs::path> newByName = byFoldedPath(newFiles);
    for (const auto& item : fs::recursive_directory_iterator(request.newTree))
        if (item.is_directory() && !item.is_symlink() && fs::is_empty(item.path()))
            report.warning(item.path().generic_string(), "is an empty folder: a patch cannot create folders, so it "
                                                         "is not shipped; ship it with a full install, or put a file in it");
    for (size_t tree = 0; tree < oldFiles.size(); tree++)
        for (const fs::path& file : oldFiles[tree])
            if (!newByName.count(foldCase(file.generic_string())))
                report.warning((request.oldTrees[tree] / file).generic_string(),
                               "not in NEW, but the updater cannot delete files: it stays installed");
    if (report.hasError())
        return REFUSED;
    if (request.updater.empty())
        report.warning((request.out / "updater.exe").generic_string(),
                       "missing: give --updater, or copy updater.exe into the folder before shipping it");
    BuildResult result = writeAndCheck(request, shipped, report);
    if (result == BUILT)
        printSummary(request, shipped, out);
    return result;
}

}  // namespace

BuildResult buildPatch(const BuildRequest& request, Report& report, std::ostream& out, bool showProgress)
{
    try {
        return buildChecked(request, report, out, showProgress);
    } catch (const Unreadable& file) {
        report.error(file.path.generic_string(), "cannot be read (" + file.reason + "): make it readable and build again");
        return CANNOT;
    }
}
