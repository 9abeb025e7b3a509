#include <windows.h>
#include <commctrl.h>
#include <string.h>

#include "cleanup.h"
#include "copy_entry.h"
#include "format/stage_results.h"
#include "install_record.h"
#include "launch.h"
#include "run_state.h"
#include "ui/copy_dialog.h"
#include "ui/notice.h"
#include "ui/path_dialog.h"

RunState runState;

static void findProgramFolder()
{
    wchar_t* folder = runState.programFolder;
    DWORD length = GetModuleFileNameW(runState.instance, folder, TEXT_CAPACITY);
    // A cut module name would name some other folder; an empty one names none.
    if (length == 0 || length >= TEXT_CAPACITY) {
        folder[0] = 0;
        return;
    }
    for (DWORD i = length; i-- > 0;) {
        if (folder[i] == L'\\') {
            folder[i] = 0;
            break;
        }
    }
}

// Shows the verdict's notice; false when the run must end.
static bool acceptVerdict(int verdict)
{
    switch (verdict) {
    case RESULT_MISSING:
        showNotice(L"Unable to find current version number. Please download a complete install from our website.",
                   L"Error", MB_ICONERROR);
        return false;
    case RESULT_TOO_OLD:
        showNotice(L"The current version is too old to be updated by this patch.\n"
                   L"Please download the complete install from our web page.",
                   L"Sorvane Online Updater", MB_ICONERROR);
        return false;
    case RESULT_UP_TO_DATE:
        return showNotice(L"Your version is currently up to date.\nWould you like to continue with the update?",
                          L"Sorvane Online", MB_YESNO) != IDNO;
    case RESULT_NEWER:
        showNotice(L"The current version number is newer than this update.\nInstallation aborted", L"Error",
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
    return copyEntry(runState.programFolder, runState.installFolder, &runState.entries[i]);
}

static_assert(int(MAX_COPY_FILES) == int(MAX_FILE_ENTRIES), "the copy dialog shows every entry");
static_assert(sizeof PathDialogData::folder == sizeof runState.installFolder, "the path field holds a folder");

// Returns how many entries were not copied.
static int copyEntries()
{
    static CopyDialogData data;
    data.count = runState.script.entryCount;
    data.copyFile = copyEntryNumber;
    for (int i = 0; i < data.count; i++) {
        const EntryNames* entry = &runState.entries[i];
        wsprintfW(data.files[i].source, L"%s\\%s", runState.programFolder, entry->sourceName);
        wsprintfW(data.files[i].destination, L"%s\\%s", runState.installFolder, entry->targetPath);
    }
    return runCopyDialog(runState.instance, &data);
}

// Runs every stage up to the copy; false when a stage ended the run.
static bool runStagesAndCopy(int* notCopied)
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
        showNotice(L"Installation complete", L"Success", MB_OK);
        return;
    }
    wchar_t text[256];
    wsprintfW(text,
              L"The update was not completed: %d of %d files could not be copied.\n"
              L"Close the game and run this update again; if it fails again, please download a complete "
              L"install from our website.",
              notCopied, runState.script.entryCount);
    showNotice(text, L"Sorvane Online Updater", MB_ICONERROR);
}

int runUpdate(HINSTANCE instance)
{
    runState.instance = instance;
    InitCommonControls();
    findProgramFolder();
    SetCurrentDirectoryW(runState.programFolder);

    int notCopied = 0;
    bool copyRan = runStagesAndCopy(&notCopied);
    // An incomplete copy keeps the patch, to be run again once the player has
    // closed the game; starting the game now would hold its files once more.
    bool incomplete = copyRan && notCopied > 0;
    if (!incomplete)
        removePatchFiles();
    if (copyRan) {
        if (runState.script.fullMode != 0)
            tellOutcome(notCopied);
        if (runState.script.hasRunCommand && !incomplete)
            launchInstalledProgram(runState.runCommand, runState.installFolder);
    }
    return 0;
}
