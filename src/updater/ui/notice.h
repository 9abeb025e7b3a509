#pragma once
#include <stdarg.h>

// A message box with no owner; returns the button pressed (only IDNO is ever
// tested). Its text is formatted by wsprintf's rules from an ASCII format (wide
// text would cost this program twice the bytes), %s taking a wide name; it
// holds at most 1024 characters, room for two names of 259 in any notice.
// Every notice is logged (run_log.h), with the answer to a question.
int showNotice(const char* format, const char* caption, unsigned style, ...);

// A failure of this program's own wording: the usual caption, the error icon,
// and, last, where the run's log is, for the game's support.
void showFailure(const char* format, ...);

// The caption of most notices, held once.
extern const char UPDATER_CAPTION[];

enum { NOTICE_CAPACITY = 1025 };

// An ASCII format filled by wsprintf's rules into text (NOTICE_CAPACITY characters);
// returns the length.
int formatText(wchar_t* text, const char* format, va_list values);
int writeText(wchar_t* text, const char* format, ...);
