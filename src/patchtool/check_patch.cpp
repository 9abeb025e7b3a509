#include "check_patch.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "format/path_text.h"
#include "file_marks.h"
#include "format/update_script.h"
#include "windows_names.h"

namespace fs = std::filesystem;

namespace {

// The physical lines as the updater's text-mode reading sees them, up to a Ctrl-Z.
std::vector<std::string> physicalLines(const std::string& bytes)
{
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < bytes.size() && bytes[i] != 0x1A; i++) {
        if (bytes[i] == '\n') {
            if (!lines.back().empty() && lines.back().back() == '\r')
                lines.back().pop_back();
            lines.emplace_back();
        } else {
            lines.back() += bytes[i];
        }
    }
    return lines;
}

// A decimal number the way a vendor means one: digits, an optional sign, no wrap-around.
bool isVersionNumber(const char* text)
{
    char* end = nullptr;
    long long value = std::strtoll(text, &end, 10);
    return end != text && *end == '\0' && std::isdigit(static_cast<unsigned char>(end[-1])) && value >= INT32_MIN &&
           value <= INT32_MAX;
}

void checkText(const std::vector<std::string>& lines, const std::string& bytes, const std::string& where, Report& report)
{
    for (size_t i = 0; i < lines.size(); i++) {
        std::string at = where + ":" + std::to_string(i + 1);
        const std::string& line = lines[i];
        // The header's lines take their line feed into the 259 characters; an entry may fill them.
        if (line.size() > 259 || (i < 4 && line.size() >= 259))
            report.error(at, "the line is " + std::to_string(line.size()) +
                                 " characters long; the updater reads lines in pieces of 259, so the rest becomes a "
                                 "line of its own: shorten it");
        if (line.find('\0') != std::string::npos)
            report.warning(at, "a NUL byte ends the line's text for the updater: remove it");
    }
    size_t mark = bytes.find('\x1A');
    if (mark != std::string::npos)
        report.warning(where + ":" + std::to_string(lines.size()),
                       "a Ctrl-Z byte ends the script here for the updater; nothing after it is read: remove it");
}

void checkHeader(const UpdateScript& script, const std::vector<std::string>& lines, const std::string& where,
                 Report& report)
{
    const char* names[] = {"patch version", "minimum version"};
    const char* fields[] = {script.patchVersion, script.minimumVersion};
    for (int i = 0; i < 2; i++)
        if (!isVersionNumber(fields[i]))
            report.error(where + ":" + std::to_string(i + 2), std::string("the ") + names[i] + " \"" + fields[i] +
                                                                   "\" is not a number: write it in decimal digits");
    if (isVersionNumber(fields[0]) && isVersionNumber(fields[1]) && std::atoll(fields[1]) > std::atoll(fields[0]))
        report.error(where + ":3", "the minimum version is above the patch version: write the oldest installed "
                                   "version this patch may update");
    std::string mode = lines.size() > 3 ? lines[3] : "";
    if (mode != "0" && mode != "1")
        report.warning(where + ":4", "the mode line \"" + mode + "\" reads as " +
                                         (script.fullMode ? "full" : "quiet") +
                                         " mode: write 0 for quiet or 1 for full");
}

// Editors save in UTF-16 with or without a byte order mark; without one, its
// first line shows a NUL in every other byte.
bool isUtf16(const std::string& bytes)
{
    if (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0)
        return true;
    std::string line = bytes.substr(0, bytes.find('\n'));
    bool oddNul = line.size() >= 2, evenNul = line.size() >= 2;
    for (size_t i = 0; i < line.size(); i++)
        (i % 2 ? oddNul : evenNul) &= line[i] == '\0';
    return oddNul || evenNul;
}

// The updater installs a file with its attributes: a read-only or hidden one
// then refuses the next patch.
void checkMarks(const fs::path& file, Report& report)
{
    const char* marks[] = {"read-only", "hidden"};
    bool carries[] = {isReadOnly(file), isHidden(file)};
    for (int i = 0; i < 2; i++)
        if (carries[i])
            report.warning(file.generic_string(), std::string("is ") + marks[i] +
                                                      ": the installed copy keeps that attribute, and the next "
                                                      "patch fails on it (error 5): make it a plain, writable file");
}

void checkUpdaterPresent(const fs::path& folder, const std::map<std::string, std::string>& folderFiles, Report& report)
{
    if (!folderFiles.count("updater.exe"))
        report.warning((folder / "updater.exe").generic_string(),
                       "missing: put updater.exe into the folder before shipping it");
}

}  // namespace

int checkScript(const fs::path& folder, const std::string& bytes, Report& report)
{
    fs::path scriptPath = folder / "update.txt";
    std::string where = scriptPath.generic_string();
    std::map<std::string, std::string> folderFiles;  // folded name -> name
    for (const auto& item : fs::directory_iterator(folder))
        folderFiles[foldCase(item.path().filename().string())] = item.path().filename().string();
    if (isUtf16(bytes)) {
        report.error(where, "the file is UTF-16 text, which the updater cannot read: save it as 8-bit text "
                            "(in Notepad: Save As, Encoding ANSI)");
        checkUpdaterPresent(folder, folderFiles, report);
        return 0;
    }
    static UpdateScript script;
    ScriptReader reader;
    beginScript(&reader, &script);
    feedScript(&reader, bytes.data(), bytes.size());
    bool tooMany = endScript(&reader) == SCRIPT_TOO_MANY_ENTRIES;

    std::vector<std::string> lines = physicalLines(bytes);
    checkText(lines, bytes, where, report);
    checkHeader(script, lines, where, report);
    if (tooMany)
        report.error(where, "more than 50 file entries: the updater refuses the whole patch; split it into two");

    std::map<std::string, int> entryOfSource;
    std::set<std::string> named = {"update.txt", "updater.exe"}, marked;
    int runEntries = 0;
    for (int i = 0; i < script.entryCount; i++) {
        const FileEntry& entry = script.entries[i];
        int lineNumber = reader.entryLines[i];
        std::string at = where + ":" + std::to_string(lineNumber), source = foldCase(entry.sourceName);
        const std::string& line = lines[lineNumber - 1];
        named.insert(source);
        if (isRunEntry(line.c_str()) && ++runEntries > 1)
            report.warning(at, "another run entry: only the last one is launched; keep one");
        if (line[0] == ' ' || line[0] == '\t')
            report.warning(at, "the entry begins with a blank, which becomes part of its name: remove it");
        if (!staysInsideFolder(entry.targetPath))
            report.error(at, "\"" + std::string(entry.targetPath) +
                                 "\" leaves the installation folder (a drive, a leading backslash or a .. part); the "
                                 "updater refuses it: name it relative to the installation folder");
        std::string refused = refusedByWindows(entry.targetPath);
        if (!refused.empty())
            report.error(at, "\"" + std::string(entry.targetPath) + "\" " + refused + ": rename it");
        if (!isPlainAscii(entry.targetPath))
            report.warning(at, "the name holds characters outside ASCII, which the updater reads in the player's "
                               "code page: use ASCII names");
        if (source == "update.txt" || source == "updater.exe")
            report.warning(at, "the entry installs the patch's own " + source + ": is that meant?");
        if (!folderFiles.count(source) || !fs::is_regular_file(folder / folderFiles[source]))
            report.error(at, "the flat file \"" + std::string(entry.sourceName) +
                                 "\" is not in the patch folder: add it under that name");
        else if (marked.insert(source).second)
            checkMarks(folder / folderFiles[source], report);
        auto first = entryOfSource.emplace(source, i).first->second;
        if (foldCase(script.entries[first].targetPath) != foldCase(entry.targetPath))
            report.warning(at, "shares the flat file \"" + std::string(entry.sourceName) + "\" with line " +
                                   std::to_string(reader.entryLines[first]) +
                                   ": both are installed with the same bytes");
    }
    for (const auto& [folded, name] : folderFiles)
        if (!named.count(folded))
            report.warning((folder / name).generic_string(),
                           "no entry names this; the updater neither installs nor removes it: list it or drop it");
    checkUpdaterPresent(folder, folderFiles, report);
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        // Says what is wrong with line 1 instead of anything else about it.
        auto& items = report.items;
        items.erase(std::remove_if(items.begin(), items.end(), [&](const Report::Item& item) { return item.where == where + ":1"; }),
                    items.end());
        items.insert(items.begin(), {where + ":1", true,
                                     "the file begins with a UTF-8 byte order mark (bytes EF BB BF), which the updater "
                                     "reads as the start of the record key, so no player's record is found: save it "
                                     "as 8-bit text or as UTF-8 without a byte order mark"});
    }
    return script.entryCount;
}

int checkPatch(const fs::path& folder, Report& report)
{
    std::ifstream file(folder / "update.txt", std::ios::binary);
    if (!file)
        return -1;
    return checkScript(folder, std::string(std::istreambuf_iterator<char>(file), {}), report);
}
