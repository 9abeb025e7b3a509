#pragma once
#include <filesystem>
#include <ostream>
#include <string>

#include "report.h"

// What a patch folder would do to an installation tree on disk, changing nothing: each entry new,
// replaced, unchanged or failing (and why), the version verdict for the installed version (""
// when not given), the installation's files the patch leaves alone, and whether the copies fit the
// free space, by the updater's own rules. Returns 0 when every entry would copy and the verdict
// lets the update go on, 1 otherwise, 2 when the script cannot be read.
// expectedKey: a public key's PEM text that must have signed it, "" for none.
int planPatch(const std::filesystem::path& patch, const std::filesystem::path& install,
              const std::string& installedVersion, const std::string& expectedKey, Report& report, std::ostream& out);
