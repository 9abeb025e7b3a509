#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "report.h"

struct BuildRequest {
    std::vector<std::filesystem::path> oldTrees;  // every version the patch updates (a cumulative patch: several)
    std::filesystem::path newTree, out;
    std::string key, version, minimum;
    bool quiet = false;
    std::string run;                  // a file of the new tree to launch, "" for none
    std::filesystem::path updater;    // updater.exe to ship, empty when not given
    std::filesystem::path signingKeyFile;  // --sign KEY
    std::string signingKey;           // its PEM text, "" for an unsigned manifest
    bool noDelta = false;             // --no-delta: every file whole
    std::vector<std::string> wholeFiles;  // --whole PATH: these files whole (paths of NEW)
};

enum BuildResult { BUILT = 0, REFUSED = 1, CANNOT = 2 };

// Compares NEW with each OLD tree by content and writes the patch folder: the
// files new or changed against any of them, flat under their base names, "update.txt" and updater.exe;
// then checks it. A changed file that every OLD holds ships as a VCDIFF delta from each distinct
// old version instead, when each delta is smaller than the file (unless --no-delta or --whole). Writes nothing when there is an error. CANNOT: OUT is in the
// way or a tree cannot be read (told in report).
// On success prints the entries, each with its size, and the total to out.
// CANNOT also when a file of either tree cannot be read.
BuildResult buildPatch(const BuildRequest& request, Report& report, std::ostream& out, bool showProgress);
