#pragma once
#include <filesystem>
#include <string>

#include "report.h"

// Reads the folder's "update.txt" exactly as updater.exe will, and reports every
// problem that the folder alone shows. Returns the number of entries, or -1
// when the script cannot be read, with the system's reason in problem.
// Its manifest is checked too (patch_signing.h), against the public key in
// expectedKey when that is not empty; not at all when expectedKey is null.
int checkPatch(const std::filesystem::path& folder, Report& report, std::string& problem,
               const std::string* expectedKey, std::string* facts = nullptr);

// The same over the script's bytes, with the folder it lies in.
int checkScript(const std::filesystem::path& folder, const std::string& bytes, Report& report);
