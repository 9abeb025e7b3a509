#include "report.h"

bool Report::hasError() const
{
    for (const Item& item : items)
        if (item.error)
            return true;
    return false;
}

void Report::print(std::ostream& out) const
{
    for (const Item& item : items)
        out << item.where << (item.error ? ": error: " : ": warning: ") << item.text << '\n';
}
