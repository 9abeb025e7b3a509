#pragma once

// True when both paths name one existing file, judged by the file system's
// identity (volume and file index), so that case, short names, "." components
// and hard links cannot hide it.
bool isSameFile(const wchar_t* path, const wchar_t* otherPath);

// The identity comparison alone, for a caller that has already found both
// paths' sizes, attributes and times alike.
bool haveSameIdentity(const wchar_t* path, const wchar_t* otherPath);

// A text that names one file or folder whatever the spelling of its path (its
// volume and index, in hexadecimal), 49 characters and a NUL; false when the
// file cannot be opened.
bool identityText(const wchar_t* path, wchar_t* text);
