#include "run_log.h"

#include <windows.h>
#include <stdarg.h>

#include "ui/notice.h"

enum { KEPT_LOGS = 10 };

wchar_t runLogPath[LOG_PATH_CAPACITY];
static HANDLE logFile;  // NULL while there is no log
static DWORD startTicks;

// The names sort as their times do, so the first in order is the oldest; one
// place is left for this run's.
static void keepNewestLogs(const wchar_t* folder)
{
    wchar_t oldest[MAX_PATH];
    for (int count = KEPT_LOGS; count >= KEPT_LOGS;) {
        WIN32_FIND_DATAW found;
        writeText(runLogPath, "%sSorvane Online Updater *.log", folder);
        HANDLE search = FindFirstFileW(runLogPath, &found);
        if (search == INVALID_HANDLE_VALUE)
            return;
        count = 0;
        do {
            if (count++ == 0 || CompareStringOrdinal(found.cFileName, -1, oldest, -1, FALSE) == CSTR_LESS_THAN)
                lstrcpyW(oldest, found.cFileName);
        } while (FindNextFileW(search, &found));
        FindClose(search);
        writeText(runLogPath, "%s%s", folder, oldest);
        if (count >= KEPT_LOGS && !DeleteFileW(runLogPath))
            return;
    }
}

void openRunLog()
{
    wchar_t folder[MAX_PATH + 1];
    SYSTEMTIME now;
    startTicks = GetTickCount();
    GetLocalTime(&now);
    DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length > 0 && length < MAX_PATH) {
        keepNewestLogs(folder);
        writeText(runLogPath, "%sSorvane Online Updater %04u-%02u-%02u %02u-%02u-%02u-%03u.log", folder, now.wYear,
                  now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
        logFile = CreateFileW(runLogPath, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    }
    if (logFile == INVALID_HANDLE_VALUE)
        logFile = NULL;
    if (!logFile)
        runLogPath[0] = 0;
}

void closeRunLog()
{
    if (logFile)
        CloseHandle(logFile);
    logFile = NULL;
}

void logLine(const char* format, ...)
{
    if (!logFile)
        return;
    wchar_t line[NOTICE_CAPACITY + 24];
    char bytes[3 * sizeof line / sizeof line[0]];
    DWORD elapsed = GetTickCount() - startTicks, written;
    int at = writeText(line, "%4lu.%03lu ", elapsed / 1000, elapsed % 1000);
    va_list values;
    va_start(values, format);
    formatText(line + at, format, values);
    va_end(values);
    // One event a line: a notice's line breaks become blanks.
    for (wchar_t* c = line; *c; c++)
        if (*c == L'\r' || *c == L'\n')
            *c = L' ';
    lstrcatW(line, L"\r\n");
    int size = WideCharToMultiByte(CP_UTF8, 0, line, -1, bytes, sizeof bytes, NULL, NULL);
    if (size > 1)
        WriteFile(logFile, bytes, size - 1, &written, NULL);
}

void writeDecimal(unsigned long long number, wchar_t text[DECIMAL_CAPACITY])
{
    wchar_t* at = text + DECIMAL_CAPACITY - 1;
    *at = 0;
    do
        *--at = (wchar_t)(L'0' + number % 10);
    while ((number /= 10) != 0);
    while ((*text++ = *at++) != 0) {
    }
}

const wchar_t* errorText(unsigned long error)
{
    static wchar_t text[256];
    if (error == 0 || !FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK, NULL,
                        error, 0, text, sizeof text / sizeof text[0], NULL))
        text[0] = 0;
    return text;
}
