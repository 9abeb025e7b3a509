#pragma once
// End-to-end harness: builds a patch folder, an installation folder and a
// registry record, starts the real updater.exe, answers what it shows the way a
// user would, and records every notice and dialog it answered.
#include <windows.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

// One window the updater showed: a notice, or the path dialog (text: its edit box).
struct Shown {
    std::string caption;
    std::string text;
    std::vector<int> buttons;  // ids of the visible buttons, in child order
    bool icon = false;

    bool operator==(const Shown& other) const
    {
        return caption == other.caption && text == other.text && buttons == other.buttons && icon == other.icon;
    }
};
std::ostream& operator<<(std::ostream& out, const Shown& shown);

const int CLOSE_BOX = -1;  // as a button: close the window with its close box

// The user's answer to the next window of this caption.
struct Answer {
    std::string caption;
    int button;                  // IDOK, IDCANCEL, IDYES, IDNO or CLOSE_BOX
    std::optional<std::string> typed = std::nullopt;  // path dialog: replaces the field, key by key
    // Called while the window is up, before it is answered, with the updater's process id.
    std::function<void(DWORD processId)> inspect = nullptr;
};

// The updater's visible top-level window of this caption, or NULL.
HWND findWindowOf(DWORD processId, const std::string& caption);

struct RunOutcome {
    bool exited = false;
    DWORD exitCode = 0;
    std::vector<Shown> shown;
    std::vector<std::string> unexpected;  // windows that no answer was meant for
};

// Files below a folder, by relative path, with their contents.
using Tree = std::map<std::string, std::string>;
Tree snapshotTree(const std::string& folder);
// "+path" added, "-path" removed, "~path" changed, sorted by path.
std::vector<std::string> treeChanges(const Tree& before, const Tree& after);

// Registry values below a key, "name" -> "TYPE:bytes in hex".
using Values = std::map<std::string, std::string>;

std::string joinPath(const std::string& folder, const std::string& name);
bool writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);
bool fileExists(const std::string& path);
void removeTree(const std::string& folder);
std::string testProgramFolder();

// Standard notices, as the updater shows them.
Shown notice(const std::string& caption, const std::string& text, UINT style);
Shown pathDialog(const std::string& fieldText);

class PatchRun {
public:
    PatchRun();
    ~PatchRun();

    std::string root;     // temporary folder holding both of these
    std::string patch;    // the patch folder, with updater.exe in it
    std::string install;  // the installation folder
    std::string key;      // record key under HKEY_CURRENT_USER
    std::string testKey;  // this test's own key, removed afterwards; key starts as it

    void writePatch(const std::string& name, const std::string& content) { writeFile(joinPath(patch, name), content); }
    void writeInstall(const std::string& relative, const std::string& content);
    void makeInstallFolder(const std::string& relative);
    void putGame(const std::string& name);  // the stand-in game, as a patch file
    void writeScript(const std::string& text) { writePatch("update.txt", text); }
    // The usual script: this run's key, versions, mode and entries, one a line.
    void writeScript(const char* patchVersion, const char* minimumVersion, int mode,
                     const std::vector<std::string>& entries);

    void setString(const std::string& name, const std::string& value, DWORD type = REG_SZ);
    void setDword(const std::string& name, DWORD value);
    void setBytes(const std::string& name, const std::string& bytes, DWORD type);
    void setRecord(const std::string& folder, DWORD version);  // "path" and "version"
    Values values() const;
    bool readDword(const std::string& name, DWORD* value) const;

    // Starts patch\updater.exe (or programPath), answers in order, waits for the exit.
    RunOutcome run(const std::vector<Answer>& answers, const std::string& programPath = "",
                   const std::vector<std::string>& environment = {});
    // What the stand-in game logged ("" when it did not run within a few seconds).
    std::string launchLog(bool expectLaunch = true) const;

    Tree treeBefore;
    Values valuesBefore;
    void markBefore();  // takes the snapshots the checks compare with
    std::vector<std::string> changes() const { return treeChanges(treeBefore, snapshotTree(root)); }
    std::vector<std::string> valueChanges() const;
};

// The run ended by itself with exit code 0, showed exactly `shown`, and every answer was used.
void expectShown(const RunOutcome& outcome, const std::vector<Shown>& shown);


// Notices several suites expect.
Shown installationComplete();
Shown copyFailure(const std::string& destination, int error);
Shown recordNotFound();
using Changes = std::vector<std::string>;
// Expected changes in the order treeChanges and valueChanges give them.
Changes sorted(Changes changes);
// The same, with "updater.exe" gone from the patch folder, as after every run.
Changes withProgramGone(Changes changes);
