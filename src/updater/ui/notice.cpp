#include "notice.h"

#include <windows.h>

#include "../run_log.h"

const char UPDATER_CAPTION[] = "Sorvane Online Updater";

static void widen(const char* ascii, wchar_t* wide)
{
    while ((*wide++ = (unsigned char)*ascii++) != 0) {
    }
}

int formatText(wchar_t* text, const char* format, va_list values)
{
    wchar_t wideFormat[512];
    widen(format, wideFormat);
    return wvsprintfW(text, wideFormat, values);
}

int writeText(wchar_t* text, const char* format, ...)
{
    va_list values;
    va_start(values, format);
    int length = formatText(text, format, values);
    va_end(values);
    return length;
}

static int showText(const wchar_t* text, const char* caption, unsigned style)
{
    wchar_t wideCaption[32];
    widen(caption, wideCaption);
    logLine("notice %hs: %s", caption, text);
    int answer = MessageBoxW(NULL, text, wideCaption, style);
    if (style & MB_YESNO)
        logLine("answer %d", answer);
    return answer;
}

int showNotice(const char* format, const char* caption, unsigned style, ...)
{
    wchar_t text[NOTICE_CAPACITY];
    va_list values;
    va_start(values, style);
    formatText(text, format, values);
    va_end(values);
    return showText(text, caption, style);
}

void showFailure(const char* format, ...)
{
    wchar_t text[NOTICE_CAPACITY + 16 + LOG_PATH_CAPACITY];
    va_list values;
    va_start(values, format);
    formatText(text, format, values);
    va_end(values);
    if (runLogPath[0]) {
        lstrcatW(text, L"\n\nDetails: ");
        lstrcatW(text, runLogPath);
    }
    showText(text, UPDATER_CAPTION, MB_ICONERROR);
}
