#include "notice.h"

#include <windows.h>

int showNotice(const char* text, const char* caption, unsigned style)
{
    return MessageBoxA(NULL, text, caption, style);
}
