#include "harness.h"

#include <windows.h>
#include <bcrypt.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <map>
#include <sstream>

#include "resource.h"
#include "../player_start.h"

namespace fs = std::filesystem;
using Texts = std::map<std::string, std::string>;

namespace {

const std::string COPY_CAPTION = "SRVN Updater";

// Each window as the user reads it: "caption: texts [field] buttons", "!" for an icon, "(cleaned)"
// once update.txt is gone; %1.. are the step's arguments. {details}: where the run's log is, which
// every failure notice of the updater's own wording ends with.
const Texts FORMS = {
    {"notFound", "Sorvane Online: %1 file not found. OK ! (cleaned)"},
    {"tooMany", "Sorvane Online: %1 lists more than 50 files. OK !"},
    {"recordMissing", "Error: Unable to find initial installation information. Please download a complete install from our website. OK"},
    {"versionMissing", "Error: Unable to find current version number. Please download a complete install from our website. OK !"},
    {"tooOld", "Sorvane Online Updater: The current version is too old to be updated by this patch.\nPlease download the complete install from our web page. OK !"},
    {"upToDate", "Sorvane Online: Your version is currently up to date.\nWould you like to continue with the update? Yes No"},
    {"newer", "Error: The current version number is newer than this update.\nInstallation aborted OK !"},
    {"path", "SRVN Updater- Installation Path: Please enter the installation path: [%1] OK Cancel"},
    // destination, error, progress as steps/entries; the copy dialog shows the source derived from them
    {"copyFailed", "Sorvane Online Updater: Failed on copy %1\nWould you like to continue? Error %2 Yes No ! over SRVN Updater: Copying file: %4 to: %1 %3"},
    {"incomplete", "Sorvane Online Updater: The update was not completed: %1 of %2 files could not be copied.\nClose the game and run this update again; if it fails again, please download a complete install from our website.{details} OK !"},
    {"incompleteInUse", "Sorvane Online Updater: The update was not completed: %1 of %2 files could not be copied.\nClose the game and run this update again.{details} OK !"},
    {"incompleteBoth", "Sorvane Online Updater: The update was not completed: %1 of %2 files could not be copied.\nClose the game, free some space on the disk and run this update again.{details} OK !"},
    {"incompleteDiskFull", "Sorvane Online Updater: The update was not completed: %1 of %2 files could not be copied.\nFree some space on the disk and run this update again.{details} OK !"},
    // folder, MB needed, MB free
    {"noSpace", "Sorvane Online Updater: There is not enough free space on the disk of %1.\nThe update needs %2 MB there and %3 MB is free. Free some space on that disk and run the update again.{details} OK !"},
    {"running", "Sorvane Online: This update is already running. OK !"},
    {"refusedAsAdministrator", "Sorvane Online Updater: The update was not completed: %1 of %2 files could not be copied.\nThe game's folder refused the update even with administrator rights: another program may protect it.{details} OK !"},
    {"cannotElevate", "Sorvane Online Updater: The game's folder %1 can only be changed with administrator rights, and this update cannot use them: it does not come with the game's publisher's key.\nPlease download the update from the game's publisher, or ask whoever installed the game.{details} OK !"},
    {"administratorNeeded", "Sorvane Online Updater: The game's folder %1 can only be changed with administrator rights.\nRun the update again and allow it, or ask whoever installed the game.{details} OK !"},
    {"cannotUseRights", "Sorvane Online Updater: Without the game's publisher's key this update cannot use administrator rights: nothing was installed.\nRun it again without \"Run as administrator\".{details} OK !"},
    {"notInstallation", "Sorvane Online Updater: The folder %1 is not this game's installation, so the update was not installed there.\nPlease download a complete install from our website.{details} OK !"},
    {"noProof", "Sorvane Online Updater: This update lists none of the game's files, so it cannot use administrator rights in %1.\nAsk the game's publisher for a new update.{details} OK !"},
    {"notThisVersion", "Sorvane Online Updater: The game in %1 is not a version this update is for (its file %2 differs): nothing was installed.\nIf you changed the game, reinstall it first.{details} OK !"},
    {"noBase", "Sorvane Online Updater: The game's file %1 differs from every version this update knows, so nothing was installed.\nReinstall or repair the game, then run this update again.{details} OK !"},
    {"exitCode", "exit code %1"},  // a copy-only process reports how its copy went
    {"complete", "Success: Installation complete OK (cleaned)"},
    {"damaged", "Sorvane Online Updater: The update's file %1 is damaged or incomplete, so nothing was installed.\nPlease download the patch again.{details} OK !"},
    {"notPublishers", "Sorvane Online Updater: This update does not come from the game's publisher, so nothing was installed.\nPlease download the patch again from the publisher.{details} OK !"},
    {"copy", COPY_CAPTION},
    {"again", "again"},  // the run ended; files held open are let go and updater.exe is started once more
};

// Steps that act rather than answer, taken when the next window shows, before it is answered:
// "twice" starts updater.exe once more from the same folder and answers its windows with the steps
// that follow until it ends; "lay:items" lays out set-up items, as while a notice holds the run.
bool isAction(const std::string& step)
{
    return step == "twice" || step.rfind("lay:", 0) == 0;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// Words split at blanks ("double quotes" keep blanks inside one), in sorted order.
std::vector<std::string> words(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> found;
    for (std::string word; in >> std::quoted(word, '"', '\x01');)
        found.push_back(word);
    std::sort(found.begin(), found.end());
    return found;
}

// Names are UTF-8 here and UTF-16 for Windows, so that a folder in any language is named exactly.
std::wstring wide(const std::string& text)
{
    std::wstring converted(text.size(), L'\0');
    converted.resize(MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), &converted[0], (int)text.size()));
    return converted;
}

std::string utf8(const std::wstring& text)
{
    std::string converted(text.size() * 3, '\0');
    converted.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), &converted[0], (int)converted.size(), 0, 0));
    return converted;
}

std::string readFile(const fs::path& path)
{
    return std::string(std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()), {});
}

std::string windowText(HWND window)
{
    wchar_t text[4096] = L"";
    SendMessageTimeoutW(window, WM_GETTEXT, ARRAYSIZE(text), (LPARAM)text, SMTO_ABORTIFHUNG, 2000, nullptr);
    return utf8(text);
}

// The copy-only processes a run started: updater.exe again, as its child.
std::vector<DWORD> copyOnlyProcesses(DWORD parent)
{
    std::vector<DWORD> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {sizeof entry};
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (entry.th32ParentProcessID == parent && lstrcmpiA(entry.szExeFile, "updater.exe") == 0)
            found.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    return found;
}

// The visible top-level windows of a process.
std::vector<HWND> windowsOf(DWORD processId)
{
    std::vector<HWND> found;
    DWORD owner;
    for (HWND window = FindWindowExA(NULL, NULL, NULL, NULL); window; window = FindWindowExA(NULL, window, NULL, NULL))
        if (GetWindowThreadProcessId(window, &owner) && owner == processId && IsWindowVisible(window))
            found.push_back(window);
    return found;
}

std::string describe(HWND window)
{
    std::string texts, field, buttons, icon, progress;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char kind[64] = "";
        GetClassNameA(child, kind, sizeof kind);
        std::string text = windowText(child);
        if (!IsWindowVisible(child))
            continue;
        else if (lstrcmpiA(kind, "Button") == 0)
            buttons += Texts{{"1", " OK"}, {"2", " Cancel"}, {"6", " Yes"}, {"7", " No"}}[std::to_string(GetDlgCtrlID(child))];
        else if (lstrcmpiA(kind, "Edit") == 0)
            field = " [" + text + "]";
        else if (lstrcmpiA(kind, PROGRESS_CLASSA) == 0)
            progress = " " + std::to_string(SendMessageA(child, PBM_GETPOS, 0, 0)) + "/" +
                       std::to_string(SendMessageA(child, PBM_GETRANGE, FALSE, 0));
        else if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            icon = SendMessageA(child, STM_GETICON, 0, 0) ? " !" : "";
        else if (!text.empty())
            texts += (texts.empty() ? "" : " ") + text;
    }
    return windowText(window) + ": " + texts + field + buttons + icon + progress;
}

const std::string LOG_NAME = "Sorvane Online Updater ", DETAILS = "\n\nDetails: ";

// A step "form(arguments) answer" as FORMS says its window reads; logged when the process writes a log.
std::string expected(const std::string& step, const std::string& patch, bool logged)
{
    if (step.rfind("elevated ", 0) == 0)  // a window of the copy-only process, which writes no log
        return "elevated " + expected(step.substr(9), patch, false);
    size_t open = step.find('('), close = step.rfind(')');
    std::vector<std::string> args;
    for (size_t at = open + 1; open != std::string::npos && at <= close; at = step.find_first_of(",)", at) + 1)
        args.push_back(step.substr(at, step.find_first_of(",)", at) - at));
    std::string name = step.substr(0, std::min(open, step.find(' '))), text = FORMS.count(name) ? FORMS.at(name) : "no form " + name;
    if (name == "copyFailed")  // the source: what follows the destination's last backslash, in the patch folder
        args.push_back(patch + "\\" + args.at(0).substr(args[0].rfind('\\') + 1));
    for (size_t i = 0; i < args.size(); i++)
        text = replaceAll(text, "%" + std::to_string(i + 1), args[i]);
    return replaceAll(text, "{details}", logged ? DETAILS + "{log}" : "");
}

// "OK", "Cancel", "Yes", "No" or "Close" (the close box); "=text" is typed into the path field first.
void answer(HWND window, std::string given)
{
    given = given.substr(given.rfind(' ') + 1);
    size_t equals = given.find('=');
    if (equals != std::string::npos)
        SetDlgItemTextW(window, IDC_PATH, L"");
    for (wchar_t key : equals == std::string::npos ? L"" : wide(given.substr(equals + 1)))  // keys: the field's limit applies
        SendDlgItemMessageW(window, IDC_PATH, WM_CHAR, key, 0);
    given = given.substr(0, equals);
    int button = std::map<std::string, int>{{"OK", IDOK}, {"Cancel", IDCANCEL}, {"Yes", IDYES}, {"No", IDNO}}[given];
    if (button)
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), (LPARAM)GetDlgItem(window, button));
    else
        PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

// This run's folders, the files held for a moment ("briefly:", let go half a second after the start),
// the folders protected ("protected:"), the arguments ("args:") and the last updater.exe started.
struct Session {
    std::string patch, root, install;
    std::vector<HANDLE> briefly;
    std::vector<std::string> protectedFolders;
    std::string arguments;
    DWORD processId;
    std::string setUp;  // expanded, for the items laid out later ("later:")
    bool asAdministrator;  // "asadmin": started as "Run as administrator" starts it
    std::string temp;  // the player's temporary folder, where the logs go
    int runs;          // how many times updater.exe was started by the player
};

std::vector<HANDLE> layOutTree(const std::string& items, const std::string& root, Session& session, const std::string& phase = "");

// Runs a Unix command on Windows paths, under Wine only (Wine starts a Unix program itself), and
// waits until it leaves its mark: each "{}" in the command stands for the next path's Unix name, and
// "{mark}" for the mark's. Wine may signal a Unix program's end before its work is done, so the
// command leaves the mark when it is through (by default once it ends).
void runUnix(std::wstring command, const std::vector<std::string>& paths)
{
    typedef char*(__cdecl * UnixNameProc)(const wchar_t*);
    auto unixName = (UnixNameProc)(void*)GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    for (const std::string& path : paths) {
        char* name = unixName ? unixName(wide(path).c_str()) : nullptr;
        if (!name)
            return;
        command.replace(command.find(L"{}"), 2, L"'" + wide(name) + L"'");
        HeapFree(GetProcessHeap(), 0, name);
    }
    std::string mark = "/tmp/updater-e2e-done-" + std::to_string(GetCurrentProcessId());
    fs::path markSeen = "Z:" + replaceAll(mark, "/", "\\");
    fs::remove(markSeen);
    size_t markAt = command.find(L"{mark}");
    if (markAt == std::wstring::npos)
        command += L"; : > {mark}", markAt = command.find(L"{mark}");
    command.replace(markAt, 6, wide(mark));
    std::wstring line = L"/bin/sh -c \"" + command + L"\"";
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &line[0], 0, 0, 0, 0, 0, 0, &startup, &process))
        return;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int wait = 0; !fs::exists(markSeen) && wait < 1000; wait++)
        Sleep(10);
    fs::remove(markSeen);
}

// "openrace:watched=folder=target": from now on, the first open of watched waits while folder is
// replaced by a link to target (open_race.pl, as root), as an opportunistic lock lets another program do.
void startOpenRace(const std::string& item, const std::string& root)
{
    std::string watched = item.substr(9, item.find('=') - 9), rest = item.substr(item.find('=') + 1);
    std::string script = (fs::path(_pgmptr).parent_path() / "open_race.pl").u8string();
    runUnix(L"/usr/bin/perl {} {} {mark} {} {} &",
            {script, root + "\\" + watched, root + "\\" + rest.substr(0, rest.find('=')), rest.substr(rest.find('=') + 1)});
}

// Stands for a folder only an administrator may change, under Wine only: there every process is an
// administrator and root, and an immutable folder (chattr +i, which root may set) refuses new files
// with error 5. On Windows a row would deny the folder by its ACL.
void changeAttributes(const std::string& folder, const wchar_t* flags)
{
    runUnix(L"/usr/bin/chattr " + std::wstring(flags) + L" {}", {folder});
}

// "link:install\\data=target": a folder that is a symbolic link, made by the Unix ln; Wine shows such
// a folder as a reparse point (and a link to a file as a plain file, so no row can use one).
void makeLink(const std::string& link, const std::string& target)
{
    runUnix(L"/bin/ln -s {} {}", {target, link});
}

void unprotectAll(Session& session)
{
    for (; !session.protectedFolders.empty(); session.protectedFolders.pop_back())
        changeAttributes(session.protectedFolders.back(), L"-i");
}

std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (auto& entry : fs::directory_iterator(fs::u8path(folder)))
        names.push_back(entry.path().filename().u8string());
    return names;
}

// Starts patch\updater.exe and answers each window with steps[next], or as a cautious user would.
// Returns what was shown, then the child processes other than the launched program, once ended.
// "copy Kill" ends the program as soon as the copy has begun a file in the installation folder.
std::vector<std::string> startAndAnswer(Session& session, const std::vector<std::string>& steps, size_t& next,
                                        const std::string& launched)
{
    std::vector<std::string> shown;
    std::wstring program = wide(session.patch + "\\updater.exe"), commandLine = L"\"" + program + L"\"" + wide(session.arguments);
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION process = {};
    // Wine under heavy load sometimes refuses a start with error 1359; that is not the program's doing.
    for (int attempt = 0; !startProgram(program.c_str(), &commandLine[0], session.asAdministrator, &process);)
        if (attempt++ > 0 || GetLastError() != ERROR_INTERNAL_ERROR)
            return {"could not start: error " + std::to_string(GetLastError())};
        else
            std::cout << "[ harness  ] Wine refused to start the program (error 1359); starting it once more\n";
    std::vector<HWND> answered;
    std::vector<HANDLE> heldMeanwhile;
    std::vector<std::string> installedBefore = namesIn(session.install);
    bool killed = false;
    session.processId = process.dwProcessId;
    session.runs++;
    for (DWORD begun = GetTickCount(); WaitForSingleObject(process.hProcess, 10) == WAIT_TIMEOUT;) {
        if (GetTickCount() - begun > 30000 && TerminateProcess(process.hProcess, 1))
            shown.push_back("did not end within 30 s");
        for (; GetTickCount() - begun > 500 && !session.briefly.empty(); session.briefly.pop_back())
            CloseHandle(session.briefly.back());
        std::vector<DWORD> processes = copyOnlyProcesses(process.dwProcessId);
        processes.insert(processes.begin(), process.dwProcessId);
        for (DWORD owner : processes)
        for (HWND window : windowsOf(owner)) {
            std::string seen = windowText(window), elevated = owner == process.dwProcessId ? "" : "elevated ";
            if (std::count(answered.begin(), answered.end(), window) || (seen == COPY_CAPTION && (next == steps.size() || steps[next].rfind(elevated + "copy ", 0))))
                continue;  // the copy dialog closes itself; it is judged by the files it copies
            if (seen != COPY_CAPTION) {
                bool cleaned = GetFileAttributesW(wide(session.patch + "\\update.txt").c_str()) == INVALID_FILE_ATTRIBUTES;
                seen = describe(window) + (cleaned ? " (cleaned)" : "");
                size_t details = seen.find(DETAILS), end = seen.find(" OK", details);
                if (details != std::string::npos && end != std::string::npos) {  // a log of this run, in the temporary folder
                    fs::path log = fs::u8path(seen.substr(details + DETAILS.size(), end - details - DETAILS.size()));
                    bool ours = log.parent_path() == fs::u8path(session.temp) && log.filename().u8string().rfind(LOG_NAME, 0) == 0 && fs::exists(log);
                    seen.replace(details + DETAILS.size(), end - details - DETAILS.size(), ours ? "{log}" : "{not a log: " + log.u8string() + "}");
                }
                for (HWND other : windowsOf(owner))
                    seen += windowText(other) == COPY_CAPTION ? " over " + describe(other) : "";
            }
            seen = elevated + seen;
            if (!IsWindow(window))
                continue;  // closed while it was read: not a window the user saw
            answered.push_back(window);
            while (next < steps.size() && isAction(steps[next])) {
                std::string action = steps[next++];
                if (action == "twice") {  // the second start comes and goes; the first goes on and launches
                    std::vector<std::string> second = startAndAnswer(session, steps, next, launched);
                    shown.insert(shown.end(), second.begin(), second.end());
                    session.processId = process.dwProcessId;
                } else {  // files it locks stay held until the program ends
                    std::vector<HANDLE> locked = layOutTree(action.substr(4), session.root, session);
                    heldMeanwhile.insert(heldMeanwhile.end(), locked.begin(), locked.end());
                }
            }
            shown.push_back(seen);
            // A step for the copy dialog answers no other window: one the row does not expect is answered
            // as a cautious user would, and the row fails at once instead of waiting for its time limit.
            size_t copyAt = next < steps.size() ? steps[next].find("copy ") : std::string::npos;
            bool copyStep = copyAt == 0 || copyAt == 9, copyWindow = windowText(window) == COPY_CAPTION;  // 9: "elevated "
            std::string step = next < steps.size() && copyStep == copyWindow ? steps[next++]
                               : GetDlgItem(window, IDC_PATH) ? "Cancel" : GetDlgItem(window, IDNO) ? "No" : "OK";
            size_t kill = step.find(" Kill");
            if (kill != std::string::npos) {  // "copy Kill:name": once that file shows in the installation folder
                std::string awaited = step.size() > kill + 6 ? step.substr(kill + 6) : "";
                auto arrived = [&] {
                    std::vector<std::string> names = namesIn(session.install);
                    return awaited.empty() ? names != installedBefore : std::count(names.begin(), names.end(), awaited) > 0;
                };
                for (DWORD since = GetTickCount(); !arrived() && GetTickCount() - since < 10000;)
                    Sleep(1);
                killed = TerminateProcess(process.hProcess, 1);
            } else if (step.size() > 10 && step.substr(step.size() - 10) == " Unprotect") {
                unprotectAll(session);  // as the copy begins: the copy dialog closes itself
            } else if (step.size() > 7 && step.substr(step.size() - 7) == " Tamper") {
                for (HANDLE file : layOutTree(session.setUp, session.root, session, "later"))  // while the copy runs
                    CloseHandle(file);
            } else {
                answer(window, step);
            }
        }
    }
    for (HANDLE file : heldMeanwhile)
        CloseHandle(file);
    // A process identifier is used again once its process ends: a child started before the program
    // is some other process's (under Wine, services.exe's parent may carry the number).
    FILETIME started, unused[3];
    GetProcessTimes(process.hProcess, &started, &unused[0], &unused[1], &unused[2]);
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {sizeof entry};
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (entry.th32ParentProcessID == process.dwProcessId) {
            FILETIME born = {};
            HANDLE asked = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
            GetProcessTimes(asked, &born, &unused[0], &unused[1], &unused[2]);
            CloseHandle(asked);
            if (CompareFileTime(&born, &started) < 0)
                continue;
            bool expected = lstrcmpiA(entry.szExeFile, launched.c_str()) == 0;
            if (!expected)
                shown.push_back(std::string("child process ") + entry.szExeFile);
            // A process the row does not expect is ended at once, so that the row fails now rather than wait.
            HANDLE child = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, entry.th32ProcessID);
            if (!expected)
                TerminateProcess(child, 1);
            WaitForSingleObject(child, 10000);
            CloseHandle(child);
        }
    CloseHandle(snapshot);
    DWORD exitCode = 0;
    if (!killed && GetExitCodeProcess(process.hProcess, &exitCode) && exitCode != 0)
        shown.push_back("exit code " + std::to_string(exitCode));  // a crash, or the 30 s limit
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return shown;
}

// Registry values below a key, sub keys included: "name" -> "1005" for a DWORD, else "type:bytes".
void snapshotRecord(HKEY parent, const std::string& key, const std::string& prefix, Texts* values)
{
    HKEY record;
    if (RegOpenKeyExA(parent, key.c_str(), 0, KEY_READ, &record) != ERROR_SUCCESS)
        return;
    char name[256], data[1024];
    DWORD nameSize = sizeof name, size = sizeof data, type;
    for (DWORD i = 0; RegEnumValueA(record, i, name, &nameSize, 0, &type, (BYTE*)data, &size) == ERROR_SUCCESS;
         i++, nameSize = sizeof name, size = sizeof data)
        (*values)[prefix + name] = type == REG_DWORD ? std::to_string(*(DWORD*)data) : std::to_string(type) + ":" + std::string(data, size);
    for (DWORD i = 0; nameSize = sizeof name, RegEnumKeyExA(record, i, name, &nameSize, 0, 0, 0, 0) == ERROR_SUCCESS; i++)
        snapshotRecord(record, name, prefix + name + "\\", values);
    RegCloseKey(record);
}

// Folders ("name\") and files with their contents (large ones by size alone) below root.
Texts snapshotTree(const std::string& root)
{
    Texts tree;
    for (auto& entry : fs::recursive_directory_iterator(fs::u8path(root)))
        tree[fs::relative(entry.path(), fs::u8path(root)).u8string() + (entry.is_directory() ? "\\" : "")] =
            entry.is_directory() ? "" : entry.file_size() > (1u << 20) ? "size " + std::to_string(entry.file_size()) : readFile(entry.path());
    return tree;
}

// " +name ~name -name" (with "=value" when asked), each in double quotes.
std::string changesOf(const Texts& before, const Texts& after, bool withValues)
{
    std::string changes;
    for (const auto& [name, value] : after)
        if (!before.count(name) || before.at(name) != value)
            changes += (before.count(name) ? " \"~" : " \"+") + name + (withValues ? "=" + value : "") + "\"";
    for (const auto& [name, value] : before)
        changes += after.count(name) ? "" : " \"-" + name + "\"";
    return changes;
}

// Deterministic noise (xorshift), so that every piece of a large file differs from the others.
std::string noiseOf(size_t size)
{
    std::string bytes(size, '\0');
    uint64_t state = 0x9E3779B97F4A7C15ull;
    for (char& byte : bytes) {
        state ^= state << 13, state ^= state >> 7, state ^= state << 17;
        byte = (char)(state >> 24);
    }
    return bytes;
}

// Texts whose SHA-256 begins with a zero byte (one try in 256): a digest compared as text would end there.
std::string withZeroDigest(int wanted)
{
    BCRYPT_ALG_HANDLE sha256;
    BCryptOpenAlgorithmProvider(&sha256, BCRYPT_SHA256_ALGORITHM, NULL, 0);
    std::string text;
    for (int n = 0, found = -1; found < wanted; n++) {
        char candidate[17];
        snprintf(candidate, sizeof candidate, "zerohash-%07d", n);
        UCHAR digest[32];
        BCryptHash(sha256, NULL, 0, (PUCHAR)candidate, 16, digest, sizeof digest);
        if (digest[0] == 0 && ++found == wanted)
            text = candidate;
    }
    BCryptCloseAlgorithmProvider(sha256, 0);
    return text;
}

// Lays out "path=content" items below root; returns handles held open on the "locked:" ones, and
// adds those on the "briefly:" ones and the "protected:" folders to the session. Items of a phase
// ("tamper:" once the patch is signed, "later:" during the copy) are laid out in that phase only;
// there "-path" deletes a file, "sig" changes one digit of the manifest's signature and "nosig" removes
// its signature line, leaving every file listed as it is.
std::vector<HANDLE> layOutTree(const std::string& items, const std::string& root, Session& session, const std::string& phase)
{
    std::vector<HANDLE> held;
    const std::map<std::string, DWORD> attributes = {{"readonly", FILE_ATTRIBUTE_READONLY}, {"hidden", FILE_ATTRIBUTE_HIDDEN}};
    for (std::string item : words(items)) {
        std::string itemPhase = item.rfind("tamper:", 0) == 0 ? "tamper" : item.rfind("later:", 0) == 0 ? "later" : "";
        if (item.rfind("args:", 0) == 0 || item.rfind("openrace:", 0) == 0 || itemPhase != phase)
            continue;
        item.erase(0, phase.empty() ? 0 : phase.size() + 1);
        // "sig": a digit of the signature changed; "newline": of the hash of the file a delta gives.
        if (item == "sig" || item == "newline") {
            fs::path manifest = fs::u8path(session.patch + "\\update.manifest");
            std::string text = readFile(manifest);
            size_t digit = item == "sig" ? text.find("signature ") + 20 : text.find("\nnew ") + 5;
            text[digit] = text[digit] == '0' ? '1' : '0';
            std::ofstream(manifest, std::ios::binary) << text;
            continue;
        }
        if (item == "vcdiff") {  // one byte of every delta changed, its size kept
            for (auto& entry : fs::directory_iterator(fs::u8path(session.patch)))
                if (entry.path().extension() == ".vcdiff") {
                    std::string text = readFile(entry.path());
                    text[text.size() / 2] ^= 0x55;
                    std::ofstream(entry.path(), std::ios::binary) << text;
                }
            continue;
        }
        if (item == "nosig") {
            fs::path manifest = fs::u8path(session.patch + "\\update.manifest");
            std::string text = readFile(manifest);
            std::ofstream(manifest, std::ios::binary) << text.substr(0, text.find("signature "));
            continue;
        }
        if (item[0] == '-') {
            fs::remove(fs::u8path(root + "\\" + item.substr(1)));
            continue;
        }
        if (item.rfind("link:", 0) == 0) {
            makeLink(root + "\\" + item.substr(5, item.find('=') - 5), item.substr(item.find('=') + 1));
            continue;
        }
        std::string kind = item.substr(0, item.find(':'));
        kind = kind == "locked" || kind == "briefly" || kind == "protected" || attributes.count(kind) ? kind : "";
        item.erase(0, kind.empty() ? 0 : kind.size() + 1);
        size_t equals = item.find('=');
        fs::path path = fs::u8path(root + "\\" + item.substr(0, equals));
        std::string content = item.substr(equals + 1);
        fs::create_directories(item.back() == '\\' ? path : path.parent_path());
        if (kind == "protected")  // protected once the whole tree is laid out
            session.protectedFolders.push_back(root + "\\" + item);
        if (equals == std::string::npos)
            continue;  // a folder, or a word about the whole case ("unpacked")
        const std::map<std::string, std::string> helpers = {{"@game", "fake_game.exe"}, {"@admingame", "admin_game.exe"}, {"@marker", "marker_dll.dll"}};
        std::string tail;  // "@random:N+text", "@size:N+text": text after the N bytes
        if (content[0] == '@' && content.find('+') != std::string::npos)
            tail = content.substr(content.find('+') + 1), content.erase(content.find('+'));
        if (helpers.count(content))
            fs::copy_file(fs::path(_pgmptr).parent_path() / helpers.at(content), path);
        else if (content.rfind("@data:", 0) == 0)  // bytes written, for a drive whose space counts
            std::ofstream(path, std::ios::binary) << std::string(std::stoull(content.substr(6)), 'd');
        else if (content.rfind("@random:", 0) == 0)  // N bytes in which no piece of a copy's buffer repeats another
            std::ofstream(path, std::ios::binary) << noiseOf(std::stoull(content.substr(8)));
        else if (content.rfind("@zerohash:", 0) == 0)  // the N-th of the 16-byte texts whose SHA-256 begins with a zero byte
            std::ofstream(path, std::ios::binary) << withZeroDigest(std::stoi(content.substr(10)));
        else
            std::ofstream(path, std::ios::binary) << (content.rfind("@size:", 0) ? content : "");
        if (content.rfind("@size:", 0) == 0)
            fs::resize_file(path, std::stoull(content.substr(6)));
        if (!tail.empty())
            std::ofstream(path, std::ios::binary | std::ios::app) << tail;
        if (attributes.count(kind))
            SetFileAttributesW(path.c_str(), attributes.at(kind));
        if (kind == "locked" || kind == "briefly")  // others may read it, as the tree is read, but never write it
            (kind == "locked" ? held : session.briefly).push_back(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0));
    }
    return held;
}

// Lays out "name=value" items below key: "sz:text" (stored wide, as Windows stores strings), "raw:text"
// (binary, the 8-bit bytes: Wine ends a string itself), else a DWORD; "Sub\name" is a value of a sub key.
void layOutRecord(const std::string& items, const std::string& key)
{
    RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
    for (const std::string& item : words(items)) {
        std::string name = item.substr(0, item.find('=')), value = item.substr(item.find('=') + 1);
        DWORD number = std::strtoul(value.c_str(), nullptr, 10),
              type = value[0] == 's' ? REG_SZ : value[0] == 'e' ? REG_EXPAND_SZ : value[0] == 'r' ? REG_BINARY : REG_DWORD;
        std::string text = value.substr(value.find(':') + 1), bytes = type == REG_DWORD ? std::string((char*)&number, 4) : text;
        if (type == REG_SZ || type == REG_EXPAND_SZ)
            bytes = std::string((const char*)wide(text).c_str(), (wide(text).size() + 1) * 2);
        size_t slash = name.rfind('\\');
        std::string subKey = slash == std::string::npos ? key : key + "\\" + name.substr(0, slash);
        RegSetKeyValueW(HKEY_CURRENT_USER, wide(subKey).c_str(), wide(name.substr(slash + 1)).c_str(), type, bytes.data(), bytes.size());
    }
}

// The vendor's road: patchtool.exe writes the patch's manifest, signed with the key. It then
// errs (1) when the key is not the one the patch's updater.exe holds.
// patchtool.exe's exit code for a command line; 1 when it cannot start or takes over two minutes.
DWORD patchtoolExitCode(std::wstring command)
{
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION process = {};
    DWORD code = 1;
    if (!CreateProcessW(nullptr, &command[0], 0, 0, 0, 0, 0, 0, &startup, &process))
        return code;
    WaitForSingleObject(process.hProcess, 120000);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

// "built:MODE:OLD,OLD...": the patch folder is what patchtool.exe build makes from those trees (of
// {root}) and {root}\new, in quiet or full mode, with updater.exe (the keyed one for a "keyed" row)
// and signed with the tests' vendor key; the row's script is patchtool's.
void buildPatch(const std::string& item, const std::string& root, const std::string& patch, const std::string& key,
                bool keyed)
{
    std::string mode = item.substr(6, item.find(':', 6) - 6), trees = item.substr(item.find(':', 6) + 1);
    fs::path here = fs::path(_pgmptr).parent_path();
    std::wstring command = L"\"" + (here / "patchtool.exe").wstring() + L"\" build";
    for (size_t at = 0; at <= trees.size(); at = trees.find(',', at) + 1) {
        command += L" \"" + wide(root + "\\" + trees.substr(at, trees.find(',', at) - at)) + L"\"";
        if (trees.find(',', at) == std::string::npos)
            break;
    }
    command += L" \"" + wide(root + "\\new") + L"\" \"" + wide(patch) + L"\" --key \"" + wide(key) +
               L"\" --version 1006 --min 1004 --updater \"" + (here / (keyed ? "keyed\\updater.exe" : "updater.exe")).wstring() + L"\" --sign \"" +
               (here / "keys\\vendor.pem").wstring() + L"\"" + (mode == "quiet" ? L" --quiet" : L"");
    fs::remove_all(fs::u8path(patch));
    ASSERT_EQ(patchtoolExitCode(command), 0u) << "patchtool build: the row's patch";
}

void signPatch(const std::string& patch, const fs::path& key, const std::string& oldTree, DWORD expectedCode)
{
    std::wstring command = L"\"" + (fs::path(_pgmptr).parent_path() / "patchtool.exe").wstring() + L"\" sign \"" + wide(patch) +
                           L"\" \"" + key.wstring() + L"\"" + (oldTree.empty() ? L"" : L" --old \"" + wide(oldTree) + L"\"");
    ASSERT_EQ(patchtoolExitCode(command), expectedCode) << "patchtool sign: the row's patch";
}

// {quiet} and {full} (the usual header), this run's folders and key, {nul}, and {text*N}.
std::string expand(std::string text, const Texts& run)
{
    text = replaceAll(replaceAll(text, "{quiet}", "{key}\n1006\n1004\n0\n"), "{full}", "{key}\n1006\n1004\n1\n");
    for (auto& [name, value] : run)
        text = replaceAll(text, name, value);
    for (size_t open; (open = text.find('{')) != std::string::npos;) {
        size_t close = text.find('}', open), star = text.rfind('*', close);
        std::string repeated;
        for (int n = std::stoi(text.substr(star + 1)); n > 0; n--)
            repeated += text.substr(open + 1, star - open - 1);
        text.replace(open, close - open + 1, repeated);
    }
    return text;
}

// The temporary folder holds a log of each run of the player's process and nothing else (the
// copy-only process writes none), the newest ten of all kept; their lines hold each of lines
// ("|" between them), in order.
void checkLogs(const Session& session, const std::vector<std::string>& before, int runs, const std::string& lines)
{
    std::vector<std::string> found, made, newest = before;
    std::string text;
    std::error_code absent;
    for (auto& entry : fs::directory_iterator(fs::u8path(session.temp), absent))
        found.push_back(entry.path().filename().u8string());
    std::sort(found.begin(), found.end());
    for (const std::string& name : found)
        if (!std::count(before.begin(), before.end(), name)) {
            made.push_back(name);
            EXPECT_TRUE(name.rfind(LOG_NAME, 0) == 0 && fs::path(name).extension() == ".log") << name;
            text += readFile(fs::u8path(session.temp) / fs::u8path(name));
        }
    EXPECT_EQ((int)made.size(), runs) << "logs written in " << session.temp;
    newest.insert(newest.end(), made.begin(), made.end());
    std::sort(newest.begin(), newest.end());
    newest.erase(newest.begin(), newest.end() - std::min<size_t>(newest.size(), 10));
    EXPECT_EQ(found, newest) << "the logs kept in " << session.temp;
    size_t at = 0;
    std::istringstream wanted(lines);
    for (std::string line; std::getline(wanted, line, '|');) {
        line.erase(0, line.find_first_not_of(' '));
        line.erase(line.find_last_not_of(' ') + 1);
        if (line[0] == '!') {
            EXPECT_EQ(text.find(line.substr(1)), std::string::npos) << "the log holds " << line.substr(1) << "\n" << text;
            continue;
        }
        size_t next = text.find(line, at);
        EXPECT_NE(next, std::string::npos) << "the log lacks, after the lines before it: " << line << "\n" << text;
        if (next == std::string::npos)
            break;
        at = next + line.size();
    }
}

}  // namespace

TEST_P(Run, EndsAsExpected)
{
    const Case& row = GetParam();
    std::string id = replaceAll(testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + ("." + std::string(row.name)), "/", ".");
    bool driveRoot = row.setUp.find("driveroot") != std::string::npos, smallDrive = row.setUp.find("smalldrive") != std::string::npos;
    // A folder of its own, emptied first: a run that was stopped may have left anything there. P: and
    // S: (a drive of 4 MiB) are mapped by the Wine session.
    std::string base = driveRoot ? "P:" : smallDrive ? "S:" : (fs::temp_directory_path() / "updater-e2e" / id).u8string(),
                named = row.setUp.substr(std::min(row.setUp.find("root:"), row.setUp.size())), root = base;
    if (!named.empty())  // "root:name": the patch and the installation lie in a folder of that name
        root += "\\" + named.substr(5, named.find(' ') - 5);
    std::string install = root + "\\install", key = "Software\\UpdaterE2E\\" + id;
    std::string patch = row.setUp.find("unpacked") != std::string::npos ? install : driveRoot ? root : root + "\\patch";
    std::error_code absent;
    if (row.setUp.find("protected:") != std::string::npos)  // left protected by a run that was stopped
        changeAttributes(base, L"-R -i");
    if (row.setUp.find("link:") != std::string::npos || row.setUp.find("openrace:") != std::string::npos)  // Wine cannot remove a folder that is a link
        runUnix(L"/bin/rm -rf {}", {base});
    for (auto& entry : fs::recursive_directory_iterator(fs::u8path(base + "\\"), absent))
        SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    for (auto& entry : fs::directory_iterator(fs::u8path(base + "\\"), absent))
        fs::remove_all(entry.path());
    const Texts run = {{"{root}", root}, {"{patch}", patch}, {"{install}", install}, {"{key}", key}, {"{nul}", std::string(1, '\0')},
                       {"{fit}", std::string(258 - install.size(), 'n')}, {"{fit2}", std::string(256 - install.size(), 'n')},
                       {"{installTail}", install.substr(2)}};
    fs::create_directories(fs::u8path(install));
    fs::create_directories(fs::u8path(patch + "\\"));
    fs::path here = fs::path(_pgmptr).parent_path();
    std::vector<std::string> setUpWords = words(row.setUp);
    bool keyed = std::count(setUpWords.begin(), setUpWords.end(), "keyed") > 0;
    fs::copy_file(here / (keyed ? "keyed\\updater.exe" : "updater.exe"), fs::u8path(patch + "\\updater.exe"));
    if (row.script != "-")
        std::ofstream(fs::u8path(patch + "\\update.txt"), std::ios::binary) << expand(row.script, run);
    size_t arguments = row.setUp.find("\"args:");  // "args:..." in quotes: what follows the program's name, ' for "
    Session session = {patch, root, install, {}, {}, arguments == std::string::npos ? "" : " " + replaceAll(expand(row.setUp.substr(arguments + 6, row.setUp.find('"', arguments + 1) - arguments - 6), run), "'", "\""), 0};
    session.setUp = expand(row.setUp, run);
    session.asAdministrator = std::count(setUpWords.begin(), setUpWords.end(), "asadmin") > 0;
    // The player's temporary folder, a folder of the row's own outside the tree it checks; "notemp":
    // one that does not exist. "oldlogs:N" lays out N logs of earlier runs there.
    static const fs::path suiteTemp = fs::temp_directory_path();
    bool noTemp = std::count(setUpWords.begin(), setUpWords.end(), "notemp") > 0;
    session.temp = (suiteTemp / "updater-e2e-logs" / id).u8string();
    fs::remove_all(fs::u8path(session.temp));
    std::vector<std::string> logsBefore;
    if (!noTemp)
        fs::create_directories(fs::u8path(session.temp));
    for (const std::string& word : setUpWords)
        for (int n = word.rfind("oldlogs:", 0) == 0 ? std::stoi(word.substr(8)) : 0; n > 0; n--) {
            logsBefore.push_back(LOG_NAME + "2020-01-" + (n < 10 ? "0" : "") + std::to_string(n) + " 12-00-00-000.log");
            std::ofstream(fs::u8path(session.temp) / fs::u8path(logsBefore.back())) << "an earlier run\n";
        }
    std::sort(logsBefore.begin(), logsBefore.end());
    // Only the player's own process logs: not one started as administrator, nor a copy-only one.
    bool logged = !noTemp && !session.asAdministrator && session.arguments.rfind(" /copy-only \"", 0) != 0;
    SetEnvironmentVariableW(L"TMP", wide(session.temp).c_str());
    SetEnvironmentVariableW(L"TEMP", wide(session.temp).c_str());
    std::vector<HANDLE> held = layOutTree(session.setUp, root, session);
    // The version the patch updates is the installation as laid out, or the folder "oldtree:name" names.
    size_t oldTree = row.setUp.find("oldtree:");
    std::string old = oldTree == std::string::npos ? "install" : row.setUp.substr(oldTree + 8, row.setUp.find(' ', oldTree) - oldTree - 8);
    old = old == "none" ? "" : root + "\\" + old;  // "oldtree:none": no old version listed
    for (const std::string& word : words(session.setUp))
        if (word.rfind("built:", 0) == 0)
            buildPatch(word, root, patch, key, keyed);
    for (const std::string& word : words(row.setUp))
        if (word.rfind("signed", 0) == 0)  // "signed" with the key the keyed updater holds, "signed:other" with another
            signPatch(patch, here / "keys" / (word == "signed" ? "vendor.pem" : "other.pem"), old, word == "signed" ? 0 : 1);
    for (HANDLE file : layOutTree(session.setUp, root, session, "tamper"))
        held.push_back(file);
    for (const std::string& folder : session.protectedFolders)
        changeAttributes(folder, L"+i");
    layOutRecord(expand(row.record, run), key);
    Texts treeBefore = snapshotTree(root + "\\"), recordBefore, recordAfter;
    snapshotRecord(HKEY_CURRENT_USER, key, "", &recordBefore);
    std::string prefix = patch == root ? "" : patch.substr(root.size() + 1) + "\\", cleaned;
    for (const auto& [name, content] : treeBefore)
        if (name.rfind(prefix, 0) == 0 && name != prefix && name.find('\\', prefix.size()) == std::string::npos && name != prefix + "updater.exe")
            cleaned += " \"-" + name + "\"";

    std::vector<std::string> steps, shown;
    std::string used = install;  // the folder the run copies to: the record's, or the one typed in the path dialog
    for (const std::string& step : row.dialogue) {
        steps.push_back(expand(step, run));
        if (!isAction(steps.back()))
            shown.push_back(expected(steps.back(), patch, logged));
        if (steps.back().rfind("path(", 0) == 0 && steps.back().find(" OK=") != std::string::npos)
            used = steps.back().substr(steps.back().find(" OK=") + 4);
    }
    if (row.setUp.find("sametimes") != std::string::npos)  // every file shows one time: only identity tells them apart
        for (auto& entry : fs::recursive_directory_iterator(fs::u8path(root)))
            if (HANDLE file = CreateFileW(entry.path().c_str(), FILE_WRITE_ATTRIBUTES, 7, 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, 0)) {
                FILETIME time = {0, 30000000};
                SetFileTime(file, &time, &time, &time);
                CloseHandle(file);
            }
    SetEnvironmentVariableA("=P:", driveRoot ? "P:\\sub" : NULL);  // the drive's current directory, inherited
    for (const std::string& item : words(session.setUp))
        if (item.rfind("openrace:", 0) == 0)  // after every snapshot, which reads each file
            startOpenRace(item, root);
    std::string program = row.launched.substr(0, row.launched.find(' '));  // the launched program reports its own path
    program.erase(0, program.rfind(".\\", 0) == 0 ? 2 : 0);
    program += program.find('.') == std::string::npos && !program.empty() ? ".exe" : "";  // Windows adds it, as the launch does
    std::vector<std::string> seen;
    for (size_t from = 0, to = 0; to <= steps.size(); to++)
        if (to == steps.size() || steps[to] == "again") {
            std::vector<std::string> part(steps.begin() + from, steps.begin() + to);
            size_t next = 0;
            part = startAndAnswer(session, part, next, program);
            seen.insert(seen.end(), part.begin(), part.end());
            for (; to < steps.size() && !held.empty(); held.pop_back())
                CloseHandle(held.back());
            seen.insert(seen.end(), to < steps.size(), "again");
            from = to + 1;
        }
    EXPECT_EQ(seen, shown);
    SetEnvironmentVariableW(L"TMP", suiteTemp.c_str());
    SetEnvironmentVariableW(L"TEMP", suiteTemp.c_str());
    checkLogs(session, logsBefore, logged ? session.runs : 0, expand(row.log, run));
    unprotectAll(session);
    for (HANDLE file : held)
        CloseHandle(file);
    for (HANDLE file : session.briefly)
        CloseHandle(file);

    // The game runs as the player: started by the player's updater.exe, never by the copy-only one.
    std::string parent = "\nparent " + std::to_string(session.processId);
    EXPECT_EQ(readFile(fs::u8path(used + "\\launch.log")), row.launched.empty() ? "" : used + "\\" + program + "\n" + used + "\n" + row.launched + parent);
    fs::remove(fs::u8path(used + "\\launch.log"));
    snapshotRecord(HKEY_CURRENT_USER, key, "", &recordAfter);
    EXPECT_EQ(words(changesOf(treeBefore, snapshotTree(root + "\\"), false) + changesOf(recordBefore, recordAfter, true)),
              words(expand(replaceAll(row.changes, "cleaned", cleaned), run)));
    RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
}
