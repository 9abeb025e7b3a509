#include "report.h"

bool Report::hasError() const
{
    return count(true) > 0;
}

int Report::count(bool errors) const
{
    int found = 0;
    for (const Item& item : items)
        found += item.error == errors;
    return found;
}

void Report::print(std::ostream& out) const
{
    for (const Item& item : items)
        out << item.where << (item.error ? ": error: " : ": warning: ") << item.text << '\n';
}

std::string counted(size_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}
