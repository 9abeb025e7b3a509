// patchtool: the vendor's side of updater.exe. It builds a patch folder from two
// installation trees, and checks one before it ships, reading "update.txt" with
// the very reader the updater uses, so that the two never disagree.
#include "patchtool.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <iterator>
#include <sstream>

#include "build_patch.h"
#include "check_patch.h"
#include "plan_patch.h"
#include "version.h"
#include "windows_program.h"

static const char USAGE[] =
    "usage: patchtool build OLD NEW OUT --key KEY --version N --min M [--quiet] [--run PATH] [--updater FILE]\n"
    "       patchtool check FOLDER\n"
    "       patchtool plan FOLDER INSTALL [--version N]\n"
    "       patchtool --version\n"
    "\n"
    "build  compares the installation trees OLD and NEW by content and writes the patch folder OUT\n"
    "       (new or empty): every new or changed file flat under its base name, update.txt with the\n"
    "       record key KEY, patch version N, minimum version M, quiet or full mode and one entry a\n"
    "       file (RUN PATH last), and updater.exe from FILE. Then checks OUT. Writes nothing on error.\n"
    "check  reads FOLDER's update.txt exactly as updater.exe will and reports every problem.\n"
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

static bool isNumber(const std::string& text)
{
    char* end = nullptr;
    std::strtol(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0';
}

// Reads the options after OLD NEW OUT; false, with the problem, on an unknown or incomplete one.
static bool readBuildOptions(const std::vector<std::string>& args, BuildRequest& request, std::string& problem)
{
    for (size_t i = 4; i < args.size(); i++) {
        const std::string& name = args[i];
        if (name == "--quiet") {
            request.quiet = true;
            continue;
        }
        std::string* values[] = {&request.key, &request.version, &request.minimum, &request.run, nullptr};
        const char* names[] = {"--key", "--version", "--min", "--run", "--updater"};
        auto known = std::find(std::begin(names), std::end(names), name);
        if (known == std::end(names) || i + 1 == args.size()) {
            problem = known == std::end(names) ? "unknown option " + name : name + " needs a value";
            return false;
        }
        std::string* value = values[known - std::begin(names)];
        if (value)
            *value = args[++i];
        else
            request.updater = args[++i];
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
        if (args.size() == 2 && args[0] == "check") {
            std::string problem;
            int entries = checkPatch(args[1], report, problem);
            if (entries < 0) {
                err << (std::filesystem::path(args[1]) / "update.txt").generic_string() << ": error: cannot be read: "
                    << problem << "\n";
                return 2;
            }
            report.print(err);  // the summary comes last
            std::string version;
            isWindowsProgram(std::filesystem::path(args[1]) / "updater.exe", version);
            out << (std::filesystem::path(args[1]) / "update.txt").generic_string() << ": "
                << counted(entries, "entry", "entries") << ", " << counted(report.count(true), "error", "errors")
                << ", " << counted(report.count(false), "warning", "warnings")
                << (version.empty() ? "" : "; updater.exe " + version) << "\n";
            return report.hasError() ? 1 : 0;
        } else if (args[0] == "plan" && (args.size() == 3 || (args.size() == 5 && args[3] == "--version"))) {
            int status = planPatch(args[1], args[2], args.size() == 5 ? args[4] : "", report, out);
            report.print(err);
            return status;
        } else if (args.size() >= 4 && args[0] == "build") {
            BuildRequest request;
            request.oldTree = args[1], request.newTree = args[2], request.out = args[3];
            std::string problem;
            if (!readBuildOptions(args, request, problem))
                return usageError(err, problem);
            std::ostringstream summary;  // printed after the diagnostics, as the last lines
            BuildResult result = buildPatch(request, report, summary, terminal);
            report.print(err);
            out << summary.str();
            return result == CANNOT ? 2 : report.hasError() ? 1 : 0;
        } else {
            return usageError(err, args.empty() ? "no command" : "unknown command or wrong arguments");
        }
    } catch (const std::exception& failure) {
        report.print(err);
        err << "patchtool: " << failure.what() << "\n";
        return 2;
    }
    report.print(err);
    return report.hasError() ? 1 : 0;
}
