#pragma once
#include <filesystem>

// The marks a file carries into the installation: the updater copies a patch
// file with its attributes, and a read-only or hidden installed file refuses
// every later patch (error 5).
bool isReadOnly(const std::filesystem::path& file);  // no owner write permission; on Windows the attribute
bool isHidden(const std::filesystem::path& file);    // the Windows attribute; Linux has none
void makePlain(const std::filesystem::path& file);   // writable by its owner, readable by all, not hidden
