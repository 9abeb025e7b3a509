#pragma once
#include <filesystem>
#include <string>

// Why Windows refuses this entry as a path below the installation folder, or ""
// when it takes every component of it.
std::string refusedByWindows(const std::string& entry);

// True when no byte is above ASCII: the updater reads names in the player's
// ANSI code page, which differs from machine to machine beyond that.
bool isPlainAscii(const std::string& text);

// A byte as a message names it: "a tab", "a carriage return (CR)", "the character <".
std::string characterName(char c);

// Lower-case ASCII, as Windows compares names for most purposes.
std::string foldCase(std::string text);

// The path Windows finds below root for an installed path (backslashes, as
// update.txt writes it), whose folders and file may be named in another case on
// disk; root joined with the path as written when nothing matches.
std::filesystem::path findAsWindows(const std::filesystem::path& root, const std::string& installedPath);
