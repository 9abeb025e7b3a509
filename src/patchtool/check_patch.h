#pragma once
#include <filesystem>
#include <string>

#include "report.h"

// Reads the folder's "update.txt" exactly as updater.exe will, and reports every
// problem that the folder alone shows. Returns the number of entries, or -1
// when the script cannot be read, with the system's reason in problem.
int checkPatch(const std::filesystem::path& folder, Report& report, std::string& problem);

// The same over the script's bytes, with the folder it lies in.
int checkScript(const std::filesystem::path& folder, const std::string& bytes, Report& report);
