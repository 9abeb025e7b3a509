#pragma once
#include <filesystem>

#include "report.h"

// Reads the folder's "update.txt" exactly as updater.exe will, and reports every
// problem that the folder alone shows. False when the script cannot be read.
bool checkPatch(const std::filesystem::path& folder, Report& report);
