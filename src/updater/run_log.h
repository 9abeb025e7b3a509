#pragma once

// The run's log, for the vendor's support: one UTF-8 line per event, each with
// the seconds since the start, in the player's temporary folder, as
// "Sorvane Online Updater YYYY-MM-DD HH-MM-SS-mmm.log"; the newest ten are kept.
// Only a process without administrator rights writes one: any program of the
// player's may point %TEMP% anywhere, and a file written or deleted there with
// administrator rights could be any file. A log that cannot be written changes
// nothing in the run.
void openRunLog();
void closeRunLog();

// One line, formatted as notices are (ui/notice.h): an ASCII format, %s a wide name.
void logLine(const char* format, ...);

// A number of bytes in decimal (wsprintf has no 64-bit conversion), for %s.
enum { DECIMAL_CAPACITY = 21 };
void writeDecimal(unsigned long long number, wchar_t text[DECIMAL_CAPACITY]);

// The system's text for an error number, on one line; "" when it has none.
const wchar_t* errorText(unsigned long error);

// Where the log is; "" when this run writes none.
enum { LOG_PATH_CAPACITY = 2 * 260 };
extern wchar_t runLogPath[LOG_PATH_CAPACITY];
