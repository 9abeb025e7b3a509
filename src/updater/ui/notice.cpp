#include "notice.h"

#include <windows.h>

int showNotice(const wchar_t* text, const wchar_t* caption, unsigned style)
{
    return MessageBoxW(NULL, text, caption, style);
}
