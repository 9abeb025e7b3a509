#pragma once
#include <ostream>
#include <string>
#include <vector>

// Diagnostics in the form compilers use, so that editors can jump to them:
// "where: error: text" or "where: warning: text", where is "file" or "file:line".
struct Report {
    struct Item {
        std::string where;
        bool error;
        std::string text;
    };
    std::vector<Item> items;

    void error(const std::string& where, const std::string& text) { items.push_back({where, true, text}); }
    void warning(const std::string& where, const std::string& text) { items.push_back({where, false, text}); }
    bool hasError() const;
    int count(bool errors) const;  // errors, or warnings
    void print(std::ostream& out) const;
};

// "1 entry", "2 entries": a count with its noun.
std::string counted(size_t count, const char* one, const char* many);
