#include "path_text.h"

#include <string.h>

template <typename Char>
static size_t lengthOf(const Char* text)
{
    size_t length = 0;
    while (text[length] != 0)
        length++;
    return length;
}

template <typename Char>
bool composePath(Char* destination, const Char* folder, const Char* name)
{
    size_t folderLength = lengthOf(folder);
    size_t nameLength = lengthOf(name);
    if (folderLength + 1 + nameLength >= TEXT_CAPACITY) {
        destination[0] = 0;
        return false;
    }
    memcpy(destination, folder, folderLength * sizeof(Char));
    destination[folderLength] = '\\';
    memcpy(destination + folderLength + 1, name, (nameLength + 1) * sizeof(Char));
    return true;
}

template <typename Char>
static bool isSeparator(Char c)
{
    return c == '\\' || c == '/';
}

// Windows drops trailing dots and spaces from a name, so ". ." or "..." can
// climb like "..".
template <typename Char>
static bool climbsUp(const Char* component, const Char* end)
{
    int dots = 0;
    for (const Char* p = component; p < end; p++) {
        if (*p == '.')
            dots++;
        else if (*p != ' ')
            return false;
    }
    return dots >= 2;
}

template <typename Char>
bool staysInsideFolder(const Char* relativePath)
{
    if (isSeparator(relativePath[0]))
        return false;
    const Char* component = relativePath;
    for (const Char* p = relativePath;; p++) {
        if (*p == ':')
            return false;
        if (*p == 0 || isSeparator(*p)) {
            if (climbsUp(component, p))
                return false;
            if (*p == 0)
                return true;
            component = p + 1;
        }
    }
}

template bool composePath(char*, const char*, const char*);
template bool composePath(wchar_t*, const wchar_t*, const wchar_t*);
template bool staysInsideFolder(const char*);
template bool staysInsideFolder(const wchar_t*);
