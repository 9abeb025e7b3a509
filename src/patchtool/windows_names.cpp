#include "windows_names.h"

#include <algorithm>

#include <cctype>
#include <cstdio>

std::string foldCase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool isPlainAscii(const std::string& text)
{
    for (unsigned char c : text)
        if (c >= 0x7F)
            return false;
    return true;
}

std::string characterName(char c)
{
    const char* names[] = {"a NUL byte", "a tab", "a carriage return (CR)", "a line feed (LF)"};
    const char codes[] = {'\0', '\t', '\r', '\n'};
    for (int i = 0; i < 4; i++)
        if (c == codes[i])
            return names[i];
    char code[8];
    snprintf(code, sizeof code, "%02X", static_cast<unsigned char>(c));
    return static_cast<unsigned char>(c) < 0x20 ? std::string("the control character ") + code
                                                : std::string("the character ") + c;
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
            return "holds " + characterName(static_cast<char>(c)) + ", which Windows refuses in names";
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

std::filesystem::path findAsWindows(const std::filesystem::path& root, const std::string& installedPath)
{
    namespace fs = std::filesystem;
    std::string generic = installedPath;
    std::replace(generic.begin(), generic.end(), '\\', '/');
    fs::path found = root;
    std::error_code unreadable;
    for (const fs::path& part : fs::path(generic)) {
        fs::path next = found / part;
        if (!fs::exists(next, unreadable))
            for (const auto& item : fs::directory_iterator(found, unreadable))
                if (foldCase(item.path().filename().string()) == foldCase(part.string()))
                    next = item.path();
        if (!fs::exists(next, unreadable))
            return root / generic;
        found = next;
    }
    return found;
}
