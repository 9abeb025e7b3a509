#include "windows_names.h"

#include <cctype>

std::string foldCase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool isPlainAscii(const std::string& text)
{
    for (unsigned char c : text)
        if (c < 0x20 || c >= 0x7F)
            return false;
    return true;
}

static bool isDeviceName(const std::string& component)
{
    std::string base = foldCase(component.substr(0, component.find('.')));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    if (base == "con" || base == "prn" || base == "aux" || base == "nul")
        return true;
    return base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) && base[3] >= '1' &&
           base[3] <= '9';
}

static std::string refusedComponent(const std::string& component)
{
    if (component == "." || component == "..")
        return "";
    for (unsigned char c : component)
        if (c < 0x20 || std::string("<>:\"|?*/").find(static_cast<char>(c)) != std::string::npos)
            return "holds a character Windows refuses in names (<>:\"|?*/ or a control character)";
    if (isDeviceName(component))
        return "uses the device name \"" + component + "\", which Windows reserves";
    if (component.back() == '.' || component.back() == ' ')
        return "has a name ending in a dot or a space, which Windows drops";
    return "";
}

std::string refusedByWindows(const std::string& entry)
{
    size_t start = 0;
    for (size_t end; start <= entry.size(); start = end + 1) {
        end = entry.find('\\', start);
        if (end == std::string::npos)
            end = entry.size();
        std::string component = entry.substr(start, end - start);
        std::string reason = component.empty() ? "" : refusedComponent(component);
        if (!reason.empty())
            return reason;
    }
    return "";
}
