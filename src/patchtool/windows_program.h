#pragma once
#include <filesystem>
#include <string>

// True when the file is a Windows program (an MZ header that leads to a PE
// signature). version receives its FileVersion ("1.1.0.0") when it carries a
// version resource, and "" otherwise.
bool isWindowsProgram(const std::filesystem::path& file, std::string& version);

// True when the program carries an Authenticode signature (its security directory is not empty).
bool carriesAuthenticode(const std::filesystem::path& file);
