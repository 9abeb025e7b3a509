#include "build_patch.h"

#include <algorithm>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <vector>

#include "check_patch.h"
#include "file_marks.h"
#include "format/update_script.h"
#include "windows_names.h"

namespace fs = std::filesystem;

namespace {

struct Shipped {
    fs::path relative;
    std::string entry;  // the relative path with backslashes
};

// A file of either tree that cannot be read: the build stops, naming it.
struct Unreadable {
    fs::path path;
};

std::ifstream openToRead(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw Unreadable{path};
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

// The files of NEW that are new or changed, in a stable order; progress on a terminal.
std::vector<Shipped> changedFiles(const BuildRequest& request, Report& report, bool showProgress)
{
    std::vector<Shipped> changed;
    std::vector<fs::path> files = filesBelow(request.newTree, report);
    for (size_t i = 0; i < files.size(); i++) {
        if (showProgress)
            std::cerr << "\rcomparing " << i + 1 << " of " << files.size() << " files" << std::flush;
        if (!sameContents(request.newTree / files[i], request.oldTree / files[i]))
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
        if (!folder.empty() && !fs::is_directory(request.oldTree / folder))
            report.error(where, "the folder \"" + folder.generic_string() +
                                    "\" is not in OLD and the updater creates no folders: ship it with a full install");
        std::string reason = inexpressible(file.entry);
        if (!reason.empty())
            report.error(where, "\"" + file.entry + "\" " + reason + ": rename it");
        auto [other, first] = byFlatName.emplace(foldCase(file.relative.filename().string()), &file);
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

bool writePatch(const BuildRequest& request, const std::vector<Shipped>& shipped)
{
    fs::create_directories(request.out);
    std::ofstream script(request.out / "update.txt", std::ios::binary);
    script << request.key << "\r\n" << request.version << "\r\n" << request.minimum << "\r\n"
           << (request.quiet ? "0" : "1") << "\r\n";
    for (const Shipped& file : shipped) {
        script << scriptLine(request, shipped, file) << "\r\n";
        fs::path copy = request.out / file.relative.filename();
        if (fs::copy_file(request.newTree / file.relative, copy, fs::copy_options::skip_existing))
            makePlain(copy);  // a read-only or hidden file, once installed, would refuse every later patch
    }
    if (!request.updater.empty())
        fs::copy_file(request.updater, request.out / "updater.exe");
    return bool(script.flush());
}

// The script's entries in order with the size of each flat file, and the total.
void printSummary(const BuildRequest& request, const std::vector<Shipped>& shipped, std::ostream& out)
{
    uintmax_t total = 0;
    for (const Shipped& file : shipped) {
        uintmax_t size = fs::file_size(request.out / file.relative.filename());
        total += size;
        out << std::setw(12) << size << "  " << scriptLine(request, shipped, file) << "\n";
    }
    out << counted(shipped.size(), "entry", "entries") << ", " << counted(total, "byte", "bytes") << ", in "
        << request.out.generic_string() << "\n";
}

BuildResult buildChecked(const BuildRequest& request, Report& report, std::ostream& out, bool showProgress)
{
    for (const fs::path& tree : {request.oldTree, request.newTree})
        if (!fs::is_directory(tree)) {
            report.error(tree.generic_string(), "not a folder");
            return CANNOT;
        }
    if (fs::exists(request.out) && !(fs::is_directory(request.out) && fs::is_empty(request.out))) {
        report.error(request.out.generic_string(), "exists and is not empty; the tool never overwrites anything");
        return CANNOT;
    }
    std::vector<Shipped> shipped = changedFiles(request, report, showProgress);
    if (shipped.empty())
        report.error(request.newTree.generic_string(), "nothing changed between OLD and NEW: there is no patch to build");
    if (!request.run.empty()) {
        std::string runPath = request.run;
        std::replace(runPath.begin(), runPath.end(), '\\', '/');
        fs::path run = fs::path(runPath).lexically_normal();
        auto found = std::find_if(shipped.begin(), shipped.end(), [&](const Shipped& f) { return f.relative == run; });
        if (!fs::is_regular_file(request.newTree / run))
            report.error(request.newTree.generic_string(), "--run names \"" + request.run + "\", which is not a file of NEW");
        else if (found == shipped.end())
            shipped.push_back({run, entryOf(run)});
        else
            std::rotate(found, found + 1, shipped.end());
    }
    checkShipped(request, shipped, report);
    for (const fs::path& file : filesBelow(request.oldTree, report))
        if (!fs::exists(request.newTree / file))
            report.warning((request.oldTree / file).generic_string(),
                           "not in NEW, but the updater cannot delete files: it stays installed");
    if (report.hasError())
        return REFUSED;
    if (request.updater.empty())
        report.warning((request.out / "updater.exe").generic_string(),
                       "missing: give --updater, or copy updater.exe into the folder before shipping it");
    if (!writePatch(request, shipped)) {
        report.error(request.out.generic_string(), "could not be written");
        return CANNOT;
    }
    Report checked;
    checkPatch(request.out, checked);
    for (const Report::Item& item : checked.items)
        if (item.error || item.where != (request.out / "updater.exe").generic_string())
            report.items.push_back(item);
    if (report.hasError())
        return REFUSED;
    printSummary(request, shipped, out);
    return BUILT;
}

}  // namespace

BuildResult buildPatch(const BuildRequest& request, Report& report, std::ostream& out, bool showProgress)
{
    try {
        return buildChecked(request, report, out, showProgress);
    } catch (const Unreadable& file) {
        report.error(file.path.generic_string(), "cannot be read: make it readable and build again");
        return CANNOT;
    }
}
