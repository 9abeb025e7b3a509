#pragma once

// A message box with no owner; returns the button pressed (only IDNO is ever
// tested). Its text is formatted by wsprintf's rules from an ASCII format (wide
// text would cost this program twice the bytes), %s taking a wide name; it
// holds at most 1024 characters, room for two names of 259 in any notice.
int showNotice(const char* format, const char* caption, unsigned style, ...);

// The caption of most notices, held once.
extern const char UPDATER_CAPTION[];
