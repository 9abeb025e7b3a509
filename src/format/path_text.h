#pragma once
#include <stddef.h>

// Every text buffer of the run holds at most 259 characters and a NUL.
enum { TEXT_CAPACITY = 260 };

// Forms "folder\name" into a TEXT_CAPACITY buffer. A result that would not fit
// is never cut: the buffer is left empty and the answer is false.
bool composePath(char* destination, const char* folder, const char* name);

// True for a path that stays below the folder it is joined to: not absolute,
// no drive, no ".." component (either slash separates here, as Windows does).
bool staysInsideFolder(const char* relativePath);
