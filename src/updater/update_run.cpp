#include <windows.h>
#include <commctrl.h>
#include <string.h>

#include "copy_entry.h"
#include "format/stage_results.h"
#include "install_record.h"
#include "run_state.h"
#include "same_file.h"
#include "ui/copy_dialog.h"
#include "ui/notice.h"
#include "ui/path_dialog.h"

RunState runState;

static void findProgramFolder()
{
    char* folder = runState.programFolder;
    DWORD length = GetModuleFileNameA(runState.instance, folder, TEXT_CAPACITY);
    // A cut module name would name some other folder; an empty one names none.
    if (length == 0 || length >= TEXT_CAPACITY) {
        folder[0] = '\0';
        return;
    }
    for (DWORD i = length; i-- > 0;) {
        if (folder[i] == '\\') {
            folder[i] = '\0';
            break;
        }
    }
}

// Deletes by full path, so that a program in a drive's root ("C:") deletes from
// that root and not from whatever directory the drive has as current.
static void deletePatchFile(const char* name)
{
    char path[TEXT_CAPACITY];
    if (name[0] != '\0' && composePath(path, runState.programFolder, name))
        DeleteFileA(path);
}

// A patch unpacked into the installation folder holds the installed files
// themselves: such a file is the entry's destination and must stay.
static bool isInstalledCopy(const FileEntry* entry)
{
    char patchFile[TEXT_CAPACITY];
    char installed[TEXT_CAPACITY];
    if (!composePath(patchFile, runState.programFolder, entry->sourceName))
        return false;
    const char* folders[] = {runState.recordFolder, runState.installFolder};
    for (const char* folder : folders)
        if (folder[0] != '\0' && composePath(installed, folder, entry->targetPath) && isSameFile(patchFile, installed))
            return true;
    return false;
}

// updater.exe cannot delete itself while it runs: that deletion fails and the
// program stays in the emptied patch folder.
void removePatchFiles()
{
    if (runState.programFolder[0] == '\0')
        return;
    SetCurrentDirectoryA(runState.programFolder);
    for (int i = 0; i < runState.script.entryCount; i++) {
        const FileEntry* entry = &runState.script.entries[i];
        if (staysInsideFolder(entry->sourceName) && !isInstalledCopy(entry))
            deletePatchFile(entry->sourceName);
    }
    deletePatchFile("update.txt");
    deletePatchFile("updater.exe");
}

// Shows the verdict's notice; false when the run must end.
static bool acceptVerdict(int verdict)
{
    switch (verdict) {
    case RESULT_MISSING:
        showNotice("Unable to find current version number. Please download a complete install from our website.",
                   "Error", MB_ICONERROR);
        return false;
    case RESULT_TOO_OLD:
        showNotice("The current version is too old to be updated by this patch.\n"
                   "Please download the complete install from our web page.",
                   "Sorvane Online Updater", MB_ICONERROR);
        return false;
    case RESULT_UP_TO_DATE:
        return showNotice("Your version is currently up to date.\nWould you like to continue with the update?",
                          "Sorvane Online", MB_YESNO) != IDNO;
    case RESULT_NEWER:
        showNotice("The current version number is newer than this update.\nInstallation aborted", "Error",
                   MB_ICONERROR);
        return false;
    default:
        return true;
    }
}

static void confirmInstallFolder()
{
    PathDialogData data;
    memcpy(data.folder, runState.installFolder, sizeof data.folder);
    runPathDialog(runState.instance, &data);
    memcpy(runState.installFolder, data.folder, sizeof data.folder);
}

static unsigned long copyEntryNumber(int i)
{
    return copyEntry(runState.programFolder, runState.installFolder, &runState.script.entries[i]);
}

static_assert(int(MAX_COPY_FILES) == int(MAX_FILE_ENTRIES), "the copy dialog shows every entry");

// Returns how many entries were not copied.
static int copyEntries()
{
    static CopyDialogData data;
    data.count = runState.script.entryCount;
    data.copyFile = copyEntryNumber;
    for (int i = 0; i < data.count; i++) {
        const FileEntry* entry = &runState.script.entries[i];
        wsprintfA(data.files[i].source, "%s\\%s", runState.programFolder, entry->sourceName);
        wsprintfA(data.files[i].destination, "%s\\%s", runState.installFolder, entry->targetPath);
    }
    return runCopyDialog(runState.instance, &data);
}

// Runs every stage up to the copy; false when a stage ended the run.
static bool copyPatch(int* notCopied)
{
    if (readUpdateScript() != 0)
        return false;
    if (readInstallPath() == RESULT_MISSING)
        return false;
    memcpy(runState.recordFolder, runState.installFolder, sizeof runState.recordFolder);
    bool fullMode = runState.script.fullMode != 0;
    if (fullMode) {
        if (!acceptVerdict(checkInstalledVersion()))
            return false;
        confirmInstallFolder();
    }
    if (runState.installFolder[0] == '\0')
        return false;
    *notCopied = copyEntries();
    // A patch that did not arrive whole must not be recorded as installed.
    if (fullMode && *notCopied == 0)
        stampVersion();
    return true;
}

static void tellOutcome(int notCopied)
{
    if (notCopied == 0) {
        showNotice("Installation complete", "Success", MB_OK);
        return;
    }
    char text[160];
    wsprintfA(text,
              "The update was not completed: %d of %d files could not be copied.\n"
              "Please download a complete install from our website.",
              notCopied, runState.script.entryCount);
    showNotice(text, "Sorvane Online Updater", MB_ICONERROR);
}

static void launchRunCommand()
{
    SetCurrentDirectoryA(runState.installFolder);
    WinExec(runState.script.runCommand, SW_SHOW);
    SetCurrentDirectoryA(runState.programFolder);
}

int runUpdate(HINSTANCE instance)
{
    runState.instance = instance;
    InitCommonControls();
    findProgramFolder();
    SetCurrentDirectoryA(runState.programFolder);

    int notCopied = 0;
    bool copied = copyPatch(&notCopied);
    removePatchFiles();
    if (copied) {
        if (runState.script.fullMode != 0)
            tellOutcome(notCopied);
        if (runState.script.hasRunCommand)
            launchRunCommand();
    }
    return 0;
}
