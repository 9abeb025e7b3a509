#include "number_rule.h"

static bool isNumberSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int32_t readNumber(const char* text)
{
    while (isNumberSpace(*text))
        text++;
    bool negative = false;
    if (*text == '+' || *text == '-') {
        negative = *text == '-';
        text++;
    }
    // Unsigned arithmetic wraps by definition; the cast back is two's complement.
    uint32_t value = 0;
    for (; *text >= '0' && *text <= '9'; text++)
        value = value * 10u + static_cast<uint32_t>(*text - '0');
    if (negative)
        value = 0u - value;
    return static_cast<int32_t>(value);
}
