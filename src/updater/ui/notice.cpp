#include "notice.h"

#include <windows.h>
#include <stdarg.h>

const char UPDATER_CAPTION[] = "Sorvane Online Updater";

static void widen(const char* ascii, wchar_t* wide)
{
    while ((*wide++ = (unsigned char)*ascii++) != 0) {
    }
}

int showNotice(const char* format, const char* caption, unsigned style, ...)
{
    wchar_t wideFormat[512], wideCaption[32], text[1025];
    widen(format, wideFormat);
    widen(caption, wideCaption);
    va_list names;
    va_start(names, style);
    wvsprintfW(text, wideFormat, names);
    va_end(names);
    return MessageBoxW(NULL, text, wideCaption, style);
}
