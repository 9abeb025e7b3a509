#include "harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>

#include "resource.h"

#include <tlhelp32.h>

namespace {

const DWORD RUN_TIMEOUT_MS = 30000;
const char* COPY_DIALOG_CAPTION = "SRVN Updater";

std::string windowText(HWND window)
{
    char text[4096] = "";
    DWORD_PTR length = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000,
                        &length);
    return text;
}

std::string className(HWND window)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

BOOL CALLBACK collectChild(HWND child, LPARAM found)
{
    reinterpret_cast<std::vector<HWND>*>(found)->push_back(child);
    return TRUE;
}

std::vector<HWND> children(HWND window)
{
    std::vector<HWND> found;
    EnumChildWindows(window, collectChild, reinterpret_cast<LPARAM>(&found));
    return found;
}

Shown describe(HWND window)
{
    Shown shown;
    shown.caption = windowText(window);
    std::string staticText;
    bool hasEdit = false;
    for (HWND child : children(window)) {
        std::string kind = className(child);
        LONG style = GetWindowLongA(child, GWL_STYLE);
        bool visible = IsWindowVisible(child) != FALSE;
        if (lstrcmpiA(kind.c_str(), "Button") == 0 && visible) {
            shown.buttons.push_back(GetDlgCtrlID(child));
        } else if (lstrcmpiA(kind.c_str(), "Static") == 0) {
            if ((style & SS_TYPEMASK) == SS_ICON)
                shown.icon = shown.icon || (visible && SendMessageA(child, STM_GETICON, 0, 0) != 0);
            else if (staticText.empty())
                staticText = windowText(child);
        } else if (lstrcmpiA(kind.c_str(), "Edit") == 0) {
            hasEdit = true;
            shown.text = windowText(child);
        }
    }
    if (!hasEdit)
        shown.text = staticText;
    return shown;
}

struct Search {
    DWORD processId;
    std::vector<HWND> windows;
};

BOOL CALLBACK collectTopLevel(HWND window, LPARAM parameter)
{
    Search* search = reinterpret_cast<Search*>(parameter);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == search->processId && IsWindowVisible(window))
        search->windows.push_back(window);
    return TRUE;
}

void typeInto(HWND edit, const char* text)
{
    SendMessageA(edit, EM_SETSEL, 0, -1);
    SendMessageA(edit, WM_CLEAR, 0, 0);
    for (const char* c = text; *c; c++)
        SendMessageA(edit, WM_CHAR, static_cast<BYTE>(*c), 0);
}

void press(HWND window, int button)
{
    if (button == CLOSE_BOX)
        PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    else
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, button)));
}

// What a user who did not expect the window would most likely press.
int cautiousAnswer(HWND window, const Shown& shown)
{
    if (GetDlgItem(window, IDC_PATH))
        return IDCANCEL;
    if (std::find(shown.buttons.begin(), shown.buttons.end(), IDNO) != shown.buttons.end())
        return IDNO;
    return IDOK;
}

std::string hex(const BYTE* bytes, DWORD size)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (DWORD i = 0; i < size; i++) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

std::string uniqueName()
{
    static int counter;
    return "e2e" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
}

}  // namespace

HWND findWindowOf(DWORD processId, const std::string& caption)
{
    Search search = {processId, {}};
    EnumWindows(collectTopLevel, reinterpret_cast<LPARAM>(&search));
    for (HWND window : search.windows)
        if (windowText(window) == caption)
            return window;
    return NULL;
}

std::ostream& operator<<(std::ostream& out, const Shown& shown)
{
    out << "{\"" << shown.caption << "\", \"" << shown.text << "\", buttons";
    for (int id : shown.buttons)
        out << ' ' << id;
    return out << (shown.icon ? ", icon}" : ", no icon}");
}

std::string joinPath(const std::string& folder, const std::string& name)
{
    return folder + "\\" + name;
}

bool writeFile(const std::string& path, const std::string& content)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, NULL);
    CloseHandle(file);
    return ok && written == content.size();
}

std::string readFile(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return "";
    std::string content;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, NULL) && got > 0)
        content.append(buffer, got);
    CloseHandle(file);
    return content;
}

bool fileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

static void walk(const std::string& folder, const std::string& prefix, Tree* tree)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(joinPath(folder, "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        std::string path = joinPath(folder, name);
        std::string relative = prefix.empty() ? name : prefix + "\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            (*tree)[relative + "\\"] = "";
            walk(path, relative, tree);
        } else if (found.nFileSizeHigh == 0 && found.nFileSizeLow <= (1u << 20)) {
            (*tree)[relative] = readFile(path);
        } else {
            // Large files are told apart by size alone; their contents would only cost memory.
            (*tree)[relative] = "size " + std::to_string((ULONGLONG(found.nFileSizeHigh) << 32) | found.nFileSizeLow);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

Tree snapshotTree(const std::string& folder)
{
    Tree tree;
    walk(folder, "", &tree);
    return tree;
}


template <typename Map>
static std::vector<std::string> mapChanges(const Map& before, const Map& after, bool withValues)
{
    std::vector<std::string> changes;
    for (const auto& [name, content] : after) {
        auto old = before.find(name);
        std::string shown = withValues ? name + "=" + content : name;
        if (old == before.end())
            changes.push_back("+" + shown);
        else if (old->second != content)
            changes.push_back("~" + shown);
    }
    for (const auto& [name, content] : before)
        if (after.find(name) == after.end())
            changes.push_back("-" + name);
    return sorted(changes);
}

Changes withProgramGone(Changes changes)
{
    changes.push_back("-patch\\updater.exe");
    return sorted(changes);
}

Changes sorted(Changes changes)
{
    std::sort(changes.begin(), changes.end(),
              [](const std::string& a, const std::string& b) { return a.substr(1) < b.substr(1); });
    return changes;
}

std::vector<std::string> treeChanges(const Tree& before, const Tree& after)
{
    return mapChanges(before, after, false);
}

void removeTree(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(joinPath(folder, "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = joinPath(folder, name);
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

std::string testProgramFolder()
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, MAX_PATH);
    *strrchr(path, '\\') = '\0';
    return path;
}

Shown notice(const std::string& caption, const std::string& text, UINT style)
{
    Shown shown;
    shown.caption = caption;
    shown.text = text;
    shown.buttons = (style & MB_TYPEMASK) == MB_YESNO ? std::vector<int>{IDYES, IDNO} : std::vector<int>{IDOK};
    shown.icon = (style & MB_ICONMASK) != 0;
    return shown;
}

Shown pathDialog(const std::string& fieldText)
{
    Shown shown;
    shown.caption = "SRVN Updater- Installation Path";
    shown.text = fieldText;
    shown.buttons = {IDOK, IDCANCEL};
    return shown;
}

PatchRun::PatchRun()
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    root = joinPath(std::string(temp, strlen(temp) - 1), uniqueName());
    patch = joinPath(root, "patch");
    install = joinPath(root, "install");
    CreateDirectoryA(root.c_str(), NULL);
    CreateDirectoryA(patch.c_str(), NULL);
    CreateDirectoryA(install.c_str(), NULL);
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = test ? std::string(test->test_suite_name()) + "." + test->name() : uniqueName();
    std::replace(name.begin(), name.end(), '/', '_');
    testKey = key = "Software\\UpdaterE2E\\" + name;
    RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
    HKEY created;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &created, NULL) ==
        ERROR_SUCCESS)
        RegCloseKey(created);
    CopyFileA(joinPath(testProgramFolder(), "updater.exe").c_str(), joinPath(patch, "updater.exe").c_str(), FALSE);
}

PatchRun::~PatchRun()
{
    removeTree(root);
    RegDeleteTreeA(HKEY_CURRENT_USER, testKey.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\UpdaterE2E");  // only once empty: other suites run beside us
}

void PatchRun::writeInstall(const std::string& relative, const std::string& content)
{
    writeFile(joinPath(install, relative), content);
}

void PatchRun::makeInstallFolder(const std::string& relative)
{
    std::string path = install;
    size_t start = 0;
    while (start <= relative.size()) {
        size_t end = relative.find('\\', start);
        if (end == std::string::npos)
            end = relative.size();
        path = joinPath(path, relative.substr(start, end - start));
        CreateDirectoryA(path.c_str(), NULL);
        start = end + 1;
    }
}

void PatchRun::putGame(const std::string& name)
{
    CopyFileA(joinPath(testProgramFolder(), "fake_game.exe").c_str(), joinPath(patch, name).c_str(), FALSE);
}

void PatchRun::writeScript(const char* patchVersion, const char* minimumVersion, int mode,
                           const std::vector<std::string>& entries)
{
    std::string text = key + "\r\n" + patchVersion + "\r\n" + minimumVersion + "\r\n" + std::to_string(mode) + "\r\n";
    for (const std::string& entry : entries)
        text += entry + "\r\n";
    writeScript(text);
}

void PatchRun::setBytes(const std::string& name, const std::string& bytes, DWORD type)
{
    HKEY record;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, NULL, 0, KEY_SET_VALUE, NULL, &record, NULL),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(record, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    RegCloseKey(record);
}

void PatchRun::setString(const std::string& name, const std::string& value, DWORD type)
{
    setBytes(name, std::string(value.c_str(), value.size() + 1), type);
}

void PatchRun::setDword(const std::string& name, DWORD value)
{
    setBytes(name, std::string(reinterpret_cast<const char*>(&value), sizeof value), REG_DWORD);
}

void PatchRun::setRecord(const std::string& folder, DWORD version)
{
    setString("path", folder);
    setDword("version", version);
}

Values PatchRun::values() const
{
    Values values;
    HKEY record;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &record) != ERROR_SUCCESS)
        return values;
    for (DWORD index = 0;; index++) {
        char name[256];
        BYTE data[1024];
        DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
        if (RegEnumValueA(record, index, name, &nameSize, NULL, &type, data, &dataSize) != ERROR_SUCCESS)
            break;
        values[name] = std::to_string(type) + ":" + hex(data, dataSize);
    }
    RegCloseKey(record);
    return values;
}

bool PatchRun::readDword(const std::string& name, DWORD* value) const
{
    DWORD size = sizeof *value;
    return RegGetValueA(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_REG_DWORD, NULL, value, &size) ==
           ERROR_SUCCESS;
}

void PatchRun::markBefore()
{
    treeBefore = snapshotTree(root);
    valuesBefore = values();
}

std::vector<std::string> PatchRun::valueChanges() const
{
    return mapChanges(valuesBefore, values(), true);
}

// Names of the programs running now, for a failure's message.
static std::string runningPrograms()
{
    std::string names;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        names += std::string(entry.szExeFile) + "(" + std::to_string(entry.th32ParentProcessID) + ") ";
    CloseHandle(snapshot);
    return names;
}

static std::vector<char> environmentWith(const std::vector<std::string>& extra)
{
    std::vector<char> block;
    for (const std::string& variable : extra)
        block.insert(block.end(), variable.c_str(), variable.c_str() + variable.size() + 1);
    char* inherited = GetEnvironmentStringsA();
    for (const char* variable = inherited; *variable; variable += strlen(variable) + 1)
        block.insert(block.end(), variable, variable + strlen(variable) + 1);
    FreeEnvironmentStringsA(inherited);
    block.push_back('\0');
    return block;
}

RunOutcome PatchRun::run(const std::vector<Answer>& answers, const std::string& programPath,
                         const std::vector<std::string>& environment)
{
    RunOutcome outcome;
    std::string program = programPath.empty() ? joinPath(patch, "updater.exe") : programPath;
    std::string commandLine = "\"" + program + "\"";
    std::vector<char> block = environmentWith(environment);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(program.c_str(), &commandLine[0], NULL, NULL, FALSE, 0,
                        environment.empty() ? NULL : block.data(), root.c_str(), &startup, &process)) {
        ADD_FAILURE() << "could not start " << program << ": error " << GetLastError();
        return outcome;
    }
    std::set<HWND> answered;
    size_t next = 0;
    DWORD started = GetTickCount();
    while (WaitForSingleObject(process.hProcess, 10) == WAIT_TIMEOUT) {
        if (GetTickCount() - started > RUN_TIMEOUT_MS) {
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, 5000);
            ADD_FAILURE() << "updater.exe did not end within " << RUN_TIMEOUT_MS << " ms";
            break;
        }
        for (auto it = answered.begin(); it != answered.end();)
            it = IsWindow(*it) ? std::next(it) : answered.erase(it);
        Search search = {process.dwProcessId, {}};
        EnumWindows(collectTopLevel, reinterpret_cast<LPARAM>(&search));
        for (HWND window : search.windows) {
            if (answered.count(window) || className(window) != "#32770")
                continue;
            Shown shown = describe(window);
            // A window that closed while it was read is not a window the user saw.
            if (!IsWindow(window) || !IsWindowVisible(window))
                continue;
            // The copy dialog closes itself; it is answered only when a row says so, and never recorded.
            if (shown.caption == COPY_DIALOG_CAPTION) {
                if (next < answers.size() && answers[next].caption == COPY_DIALOG_CAPTION) {
                    press(window, answers[next++].button);
                    answered.insert(window);
                }
                continue;
            }
            outcome.shown.push_back(shown);
            answered.insert(window);
            if (next < answers.size() && answers[next].caption == shown.caption) {
                const Answer& answer = answers[next++];
                if (answer.inspect)
                    answer.inspect(process.dwProcessId);
                if (answer.typed)
                    typeInto(GetDlgItem(window, IDC_PATH), answer.typed->c_str());
                press(window, answer.button);
            } else {
                std::ostringstream text;
                text << shown;
                outcome.unexpected.push_back(text.str());
                press(window, cautiousAnswer(window, shown));
            }
        }
    }
    for (; next < answers.size(); next++)
        outcome.unexpected.push_back("never shown: " + answers[next].caption);
    outcome.exited = WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0;
    GetExitCodeProcess(process.hProcess, &outcome.exitCode);
    // Let go of the ended process as a shell would: a handle kept open may keep its image in use.
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // The program's own file goes once the program has ended.
    for (DWORD waited = 0; fileExists(program) && waited < 10000; waited += 20)
        Sleep(20);
    if (fileExists(program))
        outcome.unexpected.push_back("updater.exe still there; running: " + runningPrograms());
    return outcome;
}

std::string PatchRun::launchLog(bool expectLaunch) const
{
    std::string path = joinPath(install, "launch.log");
    DWORD started = GetTickCount();
    DWORD limit = expectLaunch ? 10000 : 1500;
    while (GetTickCount() - started < limit) {
        std::string log = readFile(path);
        if (log.find('\n') != std::string::npos && log.back() != '\n') {
            Sleep(100);  // the game may still be writing its command line
            return readFile(path);
        }
        Sleep(50);
    }
    return "";
}

void expectShown(const RunOutcome& outcome, const std::vector<Shown>& shown)
{
    EXPECT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.exitCode, 0u);
    EXPECT_EQ(outcome.shown, shown);
    EXPECT_EQ(outcome.unexpected, std::vector<std::string>{});
}

Shown installationComplete()
{
    return notice("Success", "Installation complete", MB_OK);
}

Shown copyFailure(const std::string& destination, int error)
{
    return notice("Sorvane Online Updater",
                  "Failed on copy " + destination + "\nWould you like to continue? Error " + std::to_string(error),
                  MB_ICONERROR | MB_YESNO);
}

Shown recordNotFound()
{
    return notice("Error",
                  "Unable to find initial installation information. Please download a complete install from our "
                  "website.",
                  MB_OK);
}
