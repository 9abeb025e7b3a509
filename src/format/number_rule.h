#pragma once
#include <stdint.h>

// Reads a decimal number the way the update script's numbers are read: leading
// white space, an optional sign, digits up to the first non-digit, wrapping
// modulo 2^32. No digits gives 0.
int32_t readNumber(const char* text);
