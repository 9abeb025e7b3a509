#pragma once
#include <stddef.h>

// Every text buffer of the run holds at most 259 characters and a NUL.
enum { TEXT_CAPACITY = 260 };

// Both rules work on 8-bit text (the script's, patchtool's) and on wide text
// (the updater's names); char and wchar_t are provided.

// Forms "folder\name" into a TEXT_CAPACITY buffer. A result that would not fit
// is never cut: the buffer is left empty and the answer is false.
template <typename Char>
bool composePath(Char* destination, const Char* folder, const Char* name);

// True for a path that stays below the folder it is joined to: not absolute,
// no drive, no ".." component (either slash separates here, as Windows does).
template <typename Char>
bool staysInsideFolder(const Char* relativePath);
