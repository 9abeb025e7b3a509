#include "check_patch.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "format/patch_manifest.h"
#include "format/path_text.h"
#include "file_marks.h"
#include "patch_signing.h"
#include "format/number_rule.h"
#include "format/update_script.h"
#include "windows_names.h"
#include "windows_program.h"

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
        for (char c : {'\r', '\t'})  // in an entry, the name's own check tells
            if (i < 4 && line.find(c) != std::string::npos)
                report.error(at, "holds " + characterName(c) + ", which the updater reads as part of the value: "
                                     "remove it");
    }
    size_t mark = bytes.find('\x1A');
    if (mark != std::string::npos)
        report.warning(where + ":" + std::to_string(lines.size()),
                       "a Ctrl-Z byte ends the script here for the updater; nothing after it is read: remove it");
}

// What the updater does with the record key: it opens HKEY_CURRENT_USER\key.
std::string keyProblem(const std::string& key)
{
    std::string folded = foldCase(key);
    if (key.empty())
        return "the record key is empty; every player is told \"Unable to find initial installation information\"";
    if (key[0] == ' ' || key[0] == '\t')
        return "the record key begins with a blank, which the registry takes as part of the name, so no player's "
               "record is found";
    if (key[0] == '"' || key[0] == '\'' || key[0] == '[')
        return std::string("the record key begins with ") + (key[0] == '[' ? "a bracket, as a .reg file's header" : "a quote") +
               ", which the registry takes as part of the name, so no player's record is found";
    if (folded.rfind("computer\\", 0) == 0)
        return "the record key begins with \"Computer\\\", as regedit's address bar shows it; the updater adds "
               "HKEY_CURRENT_USER itself, so no player's record is found";
    bool namesHive = folded.rfind("hkey_", 0) == 0;
    for (std::string hive : {"hkcu", "hklm", "hkcr", "hku", "hkcc"})
        namesHive |= folded == hive || folded.rfind(hive + "\\", 0) == 0 || folded.rfind(hive + ":", 0) == 0;
    if (namesHive)
        return "the record key names the hive" + std::string(folded.find(':') < 5 ? " as PowerShell's drive" : "") +
               "; the updater adds HKEY_CURRENT_USER itself, so no player's record is found";
    if (key.find('/') != std::string::npos)
        return "the record key holds a forward slash, which the registry takes as part of a name, so no player's "
               "record is found: use backslashes";
    if (key[0] == '\\')
        return "the record key begins with a backslash, so no player's record is found";
    return "";
}

// The version gate compares builds, the last three digits, alone: a minimum
// from another thousand, or a patch at build 0 or 1, does not do what it says.
void checkThousands(long long patch, long long minimum, const std::string& at, Report& report)
{
    long long patchBuild = patch % 1000, minimumBuild = minimum % 1000, base = patch - patchBuild;
    long long refusedBelow = std::min(minimumBuild, patchBuild - 1);  // an installed build below this is refused
    if (minimum < 0 || minimum >= patch)
        return;
    if (patchBuild <= 1)
        report.warning(at, "the patch is at build " + std::to_string(patchBuild) + " (the last three digits of " +
                               std::to_string(patch) + "), and the updater refuses a gap only when the patch's build "
                               "is more than one above the installed one, so the minimum " + std::to_string(minimum) +
                               " is never enforced: every older version goes on (" + std::to_string(minimum - 1) +
                               " is patched too)");
    else if (minimum / 1000 != patch / 1000 && minimum < patch - 1)
        report.warning(at, "the minimum " + std::to_string(minimum) + " is from another thousand than the patch " +
                               std::to_string(patch) + ", and the updater compares builds (the last three digits) "
                               "alone: " + (refusedBelow > 0 ? "players at " + std::to_string(base) + " to " +
                                                                   std::to_string(base + refusedBelow - 1) +
                                                                   " are told their version is too old, while "
                                                             : std::string()) +
                               "older versions such as " + std::to_string(base - 500) +
                               " are patched: keep the minimum in the patch's thousand");
}

// A mode line the way a vendor means one: digits, an optional sign.
bool isModeNumber(const std::string& line)
{
    size_t digits = line.find_first_not_of("+-", 0) == 1 ? 1 : 0;
    return line.size() > digits && line.find_first_not_of("0123456789", digits) == std::string::npos;
}

void checkHeader(const UpdateScript& script, const std::vector<std::string>& lines, const std::string& where,
                 Report& report)
{
    std::string key = keyProblem(script.registryKey);
    if (!key.empty())
        report.error(where + ":1", key + ": write the key below HKEY_CURRENT_USER, such as Software\\Vendor\\Game");
    const char* names[] = {"patch version", "minimum version"};
    const char* fields[] = {script.patchVersion, script.minimumVersion};
    for (int i = 0; i < 2; i++) {
        std::string field = fields[i];
        bool digits = !field.empty() && field.find_first_not_of("0123456789", field[0] == '-' || field[0] == '+') == std::string::npos &&
                      field.size() > size_t(field[0] == '-' || field[0] == '+');
        if (!isVersionNumber(fields[i]))
            report.error(where + ":" + std::to_string(i + 2),
                         std::string("the ") + names[i] + " \"" + field + "\"" +
                             (digits ? " does not fit 32 bits: the updater reads it as " + std::to_string(readNumber(fields[i])) +
                                           "; write a version up to 2147483647"
                                     : " is not a number: write it in decimal digits"));
    }
    if (isVersionNumber(fields[0]) && std::atoll(fields[0]) <= 0)
        report.error(where + ":2", std::string("the patch version ") + fields[0] +
                                       " is not above 0, so every player is told that the installed version is "
                                       "newer: write the version this patch installs");
    if (isVersionNumber(fields[0]) && isVersionNumber(fields[1]) && std::atoll(fields[1]) > std::atoll(fields[0]))
        report.error(where + ":3", "the minimum version is above the patch version: write the oldest installed "
                                   "version this patch may update");
    else if (isVersionNumber(fields[0]) && isVersionNumber(fields[1]) && std::atoll(fields[0]) > 0)
        checkThousands(std::atoll(fields[0]), std::atoll(fields[1]), where + ":3", report);
    std::string mode = lines.size() > 3 ? lines[3] : "";
    mode.erase(0, std::min(mode.size(), mode.find_first_not_of(" \t\n\v\f\r")));
    mode.erase(mode.find_last_not_of(" \t\n\v\f\r") + 1);
    if (!isModeNumber(mode))
        report.error(where + ":4", "the mode line \"" + mode +
                                       "\" is not a number: the updater reads it as 0, quiet mode (no version check, "
                                       "no path dialog, no record). The header is four lines (key, version, minimum, "
                                       "mode): write 1 for full or 0 for quiet");
    else if (mode != "0" && mode != "1")
        report.warning(where + ":4", "the mode line \"" + mode + "\" reads as " + (script.fullMode ? "full" : "quiet") +
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

// The file entries from line first on, counted as the updater's reader would.
int countEntries(const std::vector<std::string>& lines, int first)
{
    int count = MAX_FILE_ENTRIES;
    for (size_t i = first - 1; i < lines.size(); i++)
        count += !lines[i].empty() && std::string("/;#:").find(lines[i][0]) == std::string::npos;
    return count;
}

bool isProgramName(std::string name)
{
    name = foldCase(name.substr(0, name.find(' ')));
    for (const char* extension : {".exe", ".com", ".bat", ".cmd"})
        if (name.size() > 4 && name.compare(name.size() - 4, 4, extension) == 0)
            return true;
    return false;
}

// The problems of one entry: errors for what is sure to fail for every player.
void checkEntry(const FileEntry& entry, const std::string& line, const std::string& at, Report& report)
{
    std::string target = entry.targetPath;
    int errors = report.count(true);
    if (line[0] == ' ' || line[0] == '\t')
        report.error(at, "the entry begins with a blank, which the updater keeps as part of its name, so the copy "
                         "fails: remove it");
    else if (foldCase(line.substr(0, 4)) == "run " && line.compare(0, 4, "RUN ") != 0)
        report.error(at, "\"" + line.substr(0, 3) + "\" marks the program to launch only in capitals: the updater "
                         "looks for a file named \"" + line + "\": write RUN");
    if (target.find('/') != std::string::npos)
        report.error(at, "\"" + target + "\" holds a forward slash; the updater knows only backslashes: use "
                         "backslashes (data\\maps\\level1.map)");
    else if (target.size() > 2 && target[1] == ':' && target[2] == '\\')
        report.error(at, "\"" + target + "\" names a drive; the updater refuses it (error 161): name it relative "
                         "to the installation folder");
    else if (target.find(':') != std::string::npos)
        report.error(at, "\"" + target + "\" holds a colon, which Windows reads after a file's name as one of its "
                         "streams (a:b.dat is the stream b.dat of a file a); the updater refuses it (error 161): "
                         "rename it");
    else if (!staysInsideFolder(entry.targetPath))
        report.error(at, "\"" + target + "\" leaves the installation folder (a leading backslash or a .. part); "
                         "the updater refuses it (error 161): name it relative to the installation folder");
    else if (target[0] == '"')
        report.error(at, std::string(isRunEntry(line.c_str()) ? "the run entry is quoted" : "the entry is quoted") +
                             ": an entry is also the name of the file it installs, which cannot hold quotes, so the "
                             "copy fails" + (isRunEntry(line.c_str()) ? " and nothing is launched" : "") +
                             ": write it without quotes");
    else if (!refusedByWindows(target).empty())
        report.error(at, "\"" + target + "\" " + refusedByWindows(target) + ": rename it");
    if (isRunEntry(line.c_str()) && report.count(true) == errors && !isProgramName(target))
        report.error(at, "the run entry launches \"" + target +
                             "\", which is not a program (.exe, .com, .bat or .cmd); a folder whose name begins "
                             "with RUN and a blank cannot be named in a patch: rename it");
    // "C:\Program Files\Game\" takes 22 of the 259 characters a path may hold.
    if (target.size() > 237 && target.size() <= 259)
        report.warning(at, "the path is " + std::to_string(target.size()) + " characters long: under a typical "
                           "installation folder (C:\\Program Files\\Game, 21 characters) it passes the 259 a path "
                           "may hold, and the copy fails (error 206): shorten it");
    if (!isPlainAscii(target))
        report.warning(at, "the name holds characters outside ASCII, which the updater reads in the player's "
                           "code page: use ASCII names");
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
    fs::path updater = folder / (folderFiles.count("updater.exe") ? folderFiles.at("updater.exe") : "updater.exe");
    std::string version;
    if (!folderFiles.count("updater.exe"))
        report.warning(updater.generic_string(), "missing: put updater.exe into the folder before shipping it");
    else if (!isWindowsProgram(updater, version))
        report.error(updater.generic_string(), "is not a Windows program: copy the kit's updater.exe here");
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
    size_t doubled = bytes.find("\r\r\n");
    if (doubled != std::string::npos) {
        report.error(where + ":" + std::to_string(1 + std::count(bytes.begin(), bytes.begin() + doubled, '\n')),
                     "the lines end in CR CR LF: the line ends were converted twice, and the updater reads the extra "
                     "CR as part of every name and number: save the file with CR LF or LF line ends");
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
        report.error(where + ":" + std::to_string(reader.refusedLine),
                     "the 51st file entry, of " + std::to_string(countEntries(lines, reader.refusedLine)) +
                         ": the updater takes at most 50 and refuses the whole patch: split it in two");

    std::map<std::string, int> entryOfSource;
    std::set<std::string> named = {"update.txt", "updater.exe", MANIFEST_NAME}, marked, byDeltas;
    deltaShipped(folder, byDeltas, named);
    int runEntries = 0;
    for (int i = 0; i < script.entryCount; i++) {
        const FileEntry& entry = script.entries[i];
        int lineNumber = reader.entryLines[i];
        std::string at = where + ":" + std::to_string(lineNumber), source = foldCase(entry.sourceName);
        const std::string& line = lines[lineNumber - 1];
        named.insert(source);
        checkEntry(entry, line, at, report);
        if (isRunEntry(line.c_str()) && ++runEntries > 1)
            report.warning(at, "another run entry: only the last one is launched; keep one");
        if (source == "update.txt" || source == "updater.exe")
            report.warning(at, "the entry installs the patch's own " + source + ": is that meant?");
        if (folderFiles.count(source) && fs::is_regular_file(folder / folderFiles[source])) {
            if (marked.insert(source).second)
                checkMarks(folder / folderFiles[source], report);
        } else if (byDeltas.count(source)) {
            // shipped as deltas: the manifest's check verifies them
        } else if (isRunEntry(line.c_str()) && std::string(entry.targetPath).find(' ') != std::string::npos) {
            report.error(at, "the run entry's whole text, \"" + std::string(entry.targetPath) +
                                 "\", is also the name of the file it installs, and the patch folder has none such: "
                                 "list the program as an entry of its own and ship a copy of it under that name too, "
                                 "or drop the arguments");
        } else {
            report.error(at, "the flat file \"" + std::string(entry.sourceName) +
                                 "\" is not in the patch folder: add it under that name");
        }
        for (int earlier = 0; earlier < i; earlier++)
            if (foldCase(script.entries[earlier].targetPath) == foldCase(entry.targetPath) &&
                !isRunEntry(lines[reader.entryLines[earlier] - 1].c_str()) && !isRunEntry(line.c_str())) {
                report.warning(at, "lists \"" + std::string(entry.targetPath) + "\" again, after line " +
                                       std::to_string(reader.entryLines[earlier]) + ": the file is copied twice; drop one");
                break;
            }
        auto first = entryOfSource.emplace(source, i).first->second;
        if (foldCase(script.entries[first].targetPath) != foldCase(entry.targetPath))
            report.warning(at, "shares the flat file \"" + std::string(entry.sourceName) + "\" with line " +
                                   std::to_string(reader.entryLines[first]) +
                                   ": both are installed with the same bytes");
    }
    if (!tooMany)  // past the 50th entry the reader stops, and every file would show as unnamed
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

int checkPatch(const fs::path& folder, Report& report, std::string& problem, const std::string* expectedKey,
               std::string* facts)
{
    errno = 0;
    std::ifstream file(folder / "update.txt", std::ios::binary);
    if (!file) {
        problem = errno ? std::strerror(errno) : "unknown reason";
        return -1;
    }
    std::string bytes(std::istreambuf_iterator<char>(file), {}), ignored;
    int entries = checkScript(folder, bytes, report);
    static UpdateScript script;
    parseUpdateScript(bytes.data(), bytes.size(), &script);
    if (expectedKey)
        checkManifest(folder, script, *expectedKey, report, facts ? *facts : ignored);
    return entries;
}
