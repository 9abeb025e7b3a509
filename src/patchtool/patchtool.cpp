// patchtool: the vendor's side of updater.exe. It builds a patch folder from two
// installation trees, and checks one before it ships, reading "update.txt" with
// the very reader the updater uses, so that the two never disagree.
#include "patchtool.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>
#include <fstream>
#include <exception>
#include <iterator>
#include <sstream>

#include "build_patch.h"
#include "format/patch_manifest.h"
#include "check_patch.h"
#include "patch_signing.h"
#include "plan_patch.h"
#include "version.h"
#include "windows_program.h"

static const char USAGE[] =
    "usage: patchtool build OLD... NEW OUT --key KEY --version N --min M [--quiet] [--run PATH] [--updater FILE]\n"
    "                       [--sign PRIVATE] [--no-delta] [--whole PATH]...\n"
    "       patchtool check FOLDER [--key PUBLIC]\n"
    "       patchtool plan FOLDER INSTALL [--version N] [--key PUBLIC]\n"
    "       patchtool sign FOLDER PRIVATE [--old TREE]...\n"
    "       patchtool keygen PRIVATE\n"
    "       patchtool --version\n"
    "\n"
    "build  compares the installation tree NEW with each tree OLD by content (several OLD trees for a\n"
    "       cumulative patch, one for each version it updates) and writes the patch folder OUT\n"
    "       (new or empty): every file new or changed against any OLD, flat under its base name, update.txt with the\n"
    "       record key KEY, patch version N, minimum version M, quiet or full mode and one entry a\n"
    "       file (RUN PATH last), updater.exe from FILE, and update.manifest (each file's size and\n"
    "       SHA-256, signed with the private key PRIVATE when given). Then checks OUT. Writes\n"
    "       nothing on error. A changed file that every OLD holds ships as a VCDIFF delta from each\n"
    "       distinct old version when every such delta is smaller than the file; --whole PATH ships\n"
    "       that file of NEW whole (for players whose file matches no OLD), --no-delta every file.\n"
    "check  reads FOLDER's update.txt exactly as updater.exe will and reports every problem; with\n"
    "       --key, a patch that is not signed with that public key is an error.\n"
    "sign   writes FOLDER's update.manifest signed with PRIVATE, after hand edits; refuses a folder\n"
    "       that check finds an error in. It lists the installed files of each version TREE the\n"
    "       patch updates (as build does with its OLD trees), or keeps the manifest's old list.\n"
    "keygen writes a new signing key: PRIVATE (keep it secret) and PRIVATE.pub, the public key\n"
    "       that updater.exe is built with. Never overwrites a file.\n"
    "plan   shows what the patch in FOLDER would do to the installation tree INSTALL, changing\n"
    "       nothing: each entry new, replaced, unchanged or failing, the version verdict for the\n"
    "       installed version N, and whether it fits the free space. Exit status 0 when the\n"
    "       update would complete, 1 otherwise.\n"
    "\n"
    "Diagnostics go to standard error, one a line. Exit status: 0 no error (warnings allowed),\n"
    "1 an error in the patch, 2 a usage or I/O error.\n";

static int usageError(std::ostream& err, const std::string& problem)
{
    err << "patchtool: " << problem << "; see patchtool --help\n";
    return 2;
}

static bool readText(const std::filesystem::path& file, std::string& text, std::string& problem)
{
    errno = 0;
    std::ifstream in(file, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), {});
    if (!in.bad() && in.is_open())
        return true;
    problem = file.generic_string() + ": " + (errno ? std::strerror(errno) : "cannot be read");
    return false;
}

// The check of a folder: its diagnostics, then one line that sums them up.
static int checkCommand(const std::filesystem::path& folder, const std::string& expectedKey, std::ostream& out,
                        std::ostream& err, Report& report)
{
    std::string problem, facts;
    int entries = checkPatch(folder, report, problem, &expectedKey, &facts);
    if (entries < 0) {
        err << (folder / "update.txt").generic_string() << ": error: cannot be read: " << problem << "\n";
        return 2;
    }
    report.print(err);  // the summary comes last
    std::set<std::string> byDeltas, deltaFiles;
    deltaShipped(folder, byDeltas, deltaFiles);
    for (const std::string& name : byDeltas)
        for (const DeltaFacts& delta : deltasListed(folder, name))
            out << (folder / delta.file).generic_string() << ": " << delta.words << "\n";
    std::string version;
    isWindowsProgram(folder / "updater.exe", version);
    out << (folder / "update.txt").generic_string() << ": " << counted(entries, "entry", "entries") << ", "
        << counted(report.count(true), "error", "errors") << ", " << counted(report.count(false), "warning", "warnings")
        << (version.empty() ? "" : "; updater.exe " + version) << facts << "\n";
    return report.hasError() ? 1 : 0;
}

// A key file that is not the key asked for: its name and what it is, a usage error.
static int keyError(std::ostream& err, const std::string& problem)
{
    err << "patchtool: " << problem << "\n";
    return 2;
}

// sign FOLDER KEY: only a folder without an error is signed, and a signature
// that check then refuses (another key than updater.exe's) leaves the manifest
// that was there.
static int signCommand(const std::filesystem::path& folder, const std::filesystem::path& keyFile,
                       const std::vector<std::filesystem::path>& oldTrees, std::ostream& out, std::ostream& err,
                       Report& report)
{
    std::string key, problem;
    if (!readKeyFile(keyFile, true, key, problem))
        return keyError(err, problem);
    int entries = checkPatch(folder, report, problem, nullptr);  // the manifest is what is rewritten
    if (entries < 0 || report.hasError()) {
        report.print(err);
        err << folder.generic_string() << ": error: not signed: mend the errors first\n";
        return entries < 0 ? 2 : 1;
    }
    std::ifstream script(folder / "update.txt", std::ios::binary);
    std::string bytes(std::istreambuf_iterator<char>(script), {});
    static UpdateScript parsed;
    parseUpdateScript(bytes.data(), bytes.size(), &parsed);
    for (const std::filesystem::path& tree : oldTrees)
        if (!std::filesystem::is_directory(tree))
            return usageError(err, "--old " + tree.generic_string() + " is not a folder");
    std::filesystem::path manifest = folder / MANIFEST_NAME;
    bool hadManifest = std::filesystem::exists(manifest);
    std::string before;
    if (hadManifest && !readText(manifest, before, problem))
        return keyError(err, problem);
    if (!writeManifest(folder, parsed, key, oldTrees, nullptr, problem)) {
        err << keyFile.generic_string() << ": error: " << problem << "\n";
        return 2;
    }
    report.items.clear();
    int status = checkCommand(folder, "", out, err, report);
    if (status != 0 && hadManifest)
        std::ofstream(manifest, std::ios::binary | std::ios::trunc) << before;
    else if (status != 0)
        std::filesystem::remove(manifest);
    if (status != 0)
        err << manifest.generic_string() << ": left as it was\n";
    return status;
}

static bool isNumber(const std::string& text)
{
    char* end = nullptr;
    std::strtol(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0';
}

// The command and the folders that follow it, up to the first option.
static size_t positionalCount(const std::vector<std::string>& args)
{
    size_t count = 0;
    while (count < args.size() && args[count].rfind("--", 0) != 0)
        count++;
    return count;
}

// Reads the options after OLD... NEW OUT; false, with the problem, on an unknown or incomplete one.
static bool readBuildOptions(const std::vector<std::string>& args, size_t first, BuildRequest& request,
                             std::string& problem, bool& keyProblem)
{
    keyProblem = false;
    for (size_t i = first; i < args.size(); i++) {
        const std::string& name = args[i];
        if (name == "--quiet" || name == "--no-delta") {
            (name == "--quiet" ? request.quiet : request.noDelta) = true;
            continue;
        }
        if (name == "--whole" && i + 1 < args.size()) {
            request.wholeFiles.push_back(args[++i]);
            continue;
        }
        std::string* values[] = {&request.key, &request.version, &request.minimum, &request.run, nullptr, nullptr};
        const char* names[] = {"--key", "--version", "--min", "--run", "--updater", "--sign"};
        auto known = std::find(std::begin(names), std::end(names), name);
        if (known == std::end(names) || i + 1 == args.size()) {
            problem = known == std::end(names) ? "unknown option " + name : name + " needs a value";
            return false;
        }
        std::string* value = values[known - std::begin(names)];
        if (value)
            *value = args[++i];
        else if (name == "--updater")
            request.updater = args[++i];
        else if (!readKeyFile(request.signingKeyFile = args[++i], true, request.signingKey, problem))
            return !(keyProblem = true);
    }
    problem = request.key.empty() ? "--key is required"
              : !isNumber(request.version) ? "--version needs a number"
              : !isNumber(request.minimum) ? "--min needs a number" : "";
    return problem.empty();
}

int runPatchtool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool terminal)
{
    if (!args.empty() && (args.back() == "--help" || args.back() == "-h") && args.size() <= 2) {
        out << USAGE;
        return 0;
    }
    if (args.size() == 1 && args[0] == "--version") {
        out << "patchtool " PROJECT_VERSION_TEXT "\n";
        return 0;
    }
    Report report;
    try {
        std::string command = args.empty() ? "" : args[0], key, problem;
        if (command == "check" && (args.size() == 2 || (args.size() == 4 && args[2] == "--key"))) {
            if (args.size() == 4 && !readKeyFile(args[3], false, key, problem))
                return keyError(err, problem);
            return checkCommand(args[1], key, out, err, report);
        } else if (command == "sign" && args.size() >= 3 && args.size() % 2 == 1) {
            std::vector<std::filesystem::path> oldTrees;
            for (size_t i = 3; i < args.size(); i += 2)
                if (args[i] != "--old")
                    return usageError(err, "unknown option " + args[i]);
                else
                    oldTrees.push_back(args[i + 1]);
            return signCommand(args[1], args[2], oldTrees, out, err, report);
        } else if (command == "keygen" && args.size() == 2) {
            if (args[1].size() >= 4 && args[1].compare(args[1].size() - 4, 4, ".pub") == 0)
                return keyError(err, args[1] + ": a name ending in .pub is the public key's, which is not kept "
                                                "secret: name the private key without it (keygen writes KEY.pub)");
            if (!writeKeyPair(args[1], problem)) {
                err << "patchtool: " << problem << "\n";
                return 2;
            }
            out << "private key " << args[1] << " (keep it secret), public key " << args[1] << ".pub\n";
            return 0;
        } else if (command == "plan" && args.size() >= 3 && args.size() % 2 == 1) {
            std::string version;
            for (size_t i = 3; i < args.size(); i += 2)
                if (args[i] == "--version" && isNumber(args[i + 1]))
                    version = args[i + 1];
                else if (args[i] == "--version")
                    return usageError(err, "--version needs the installed version as a whole number, such as 1005");
                else if (args[i] != "--key")
                    return usageError(err, "unknown option " + args[i]);
                else if (!readKeyFile(args[i + 1], false, key, problem))
                    return keyError(err, problem);
            int status = planPatch(args[1], args[2], version, key, report, out);
            report.print(err);
            return status;
        } else if (command == "build" && positionalCount(args) >= 4) {
            BuildRequest request;
            size_t folders = positionalCount(args);
            request.oldTrees.assign(args.begin() + 1, args.begin() + folders - 2);
            request.newTree = args[folders - 2], request.out = args[folders - 1];
            std::string problem;
            bool keyProblem;
            if (!readBuildOptions(args, folders, request, problem, keyProblem))
                return keyProblem ? keyError(err, problem) : usageError(err, problem);
            std::ostringstream summary;  // printed after the diagnostics, as the last lines
            BuildResult result = buildPatch(request, report, summary, terminal);
            report.print(err);
            out << summary.str();
            return result == CANNOT ? 2 : report.hasError() ? 1 : 0;
        } else {
            return usageError(err, command.empty() ? "no command" : "unknown command or wrong arguments");
        }
    } catch (const std::exception& failure) {
        report.print(err);
        err << "patchtool: " << failure.what() << "\n";
        return 2;
    }
    report.print(err);
    return report.hasError() ? 1 : 0;
}
