#include "command_line.h"

#include <windows.h>

#include "format/path_text.h"

static const wchar_t* skipBlanks(const wchar_t* text)
{
    while (*text == L' ' || *text == L'\t')
        text++;
    return text;
}

bool readCopyOnlySwitch(wchar_t* folder)
{
    const wchar_t* p = GetCommandLineW();
    if (*p == L'"') {  // the program's own name, quoted or not
        for (p++; *p && *p != L'"'; p++) {
        }
        p += *p == L'"';
    } else {
        while (*p && *p != L' ' && *p != L'\t')
            p++;
    }
    p = skipBlanks(p);
    const wchar_t switchText[] = L"/copy-only";
    for (const wchar_t* s = switchText; *s; s++, p++)
        if (*p != *s)
            return false;
    if (*p != L' ' && *p != L'\t')
        return false;
    p = skipBlanks(p);
    if (*p++ != L'"')
        return false;
    int length = 0;
    while (p[length] && p[length] != L'"')
        length++;
    if (p[length] != L'"' || *skipBlanks(p + length + 1) != 0 || length == 0 || length >= TEXT_CAPACITY)
        return false;
    lstrcpynW(folder, p, length + 1);
    return true;
}

bool runsElevated()
{
    HANDLE token;
    TOKEN_ELEVATION elevation = {};
    DWORD size;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
        CloseHandle(token);
    }
    return elevation.TokenIsElevated != 0;
}
