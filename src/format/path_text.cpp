#include "path_text.h"

#include <string.h>

bool composePath(char* destination, const char* folder, const char* name)
{
    size_t folderLength = strlen(folder);
    size_t nameLength = strlen(name);
    if (folderLength + 1 + nameLength >= TEXT_CAPACITY) {
        destination[0] = '\0';
        return false;
    }
    memcpy(destination, folder, folderLength);
    destination[folderLength] = '\\';
    memcpy(destination + folderLength + 1, name, nameLength + 1);
    return true;
}

static bool isSeparator(char c)
{
    return c == '\\' || c == '/';
}

// Windows drops trailing dots and spaces from a name, so ". ." or "..." can
// climb like "..".
static bool climbsUp(const char* component, const char* end)
{
    int dots = 0;
    for (const char* p = component; p < end; p++) {
        if (*p == '.')
            dots++;
        else if (*p != ' ')
            return false;
    }
    return dots >= 2;
}

bool staysInsideFolder(const char* relativePath)
{
    if (isSeparator(relativePath[0]) || strchr(relativePath, ':'))
        return false;
    const char* component = relativePath;
    for (const char* p = relativePath;; p++) {
        if (*p == '\0' || isSeparator(*p)) {
            if (climbsUp(component, p))
                return false;
            if (*p == '\0')
                return true;
            component = p + 1;
        }
    }
}
