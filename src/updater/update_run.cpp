#include <windows.h>
#include <commctrl.h>
#include <string.h>

#include "cleanup.h"
#include "command_line.h"
#include "copy/copy_outcome.h"
#include "copy/elevated_copy.h"
#include "copy/copy_entry.h"
#include "copy/delta_entry.h"
#include "format/stage_results.h"
#include "copy/held_folders.h"
#include "copy/install_folder.h"
#include "install_record.h"
#include "launch.h"
#include "copy/patch_crypto.h"
#include "copy/patch_trust.h"
#include "run_lock.h"
#include "run_log.h"
#include "run_state.h"
#include "copy/space_check.h"
#include "ui/copy_dialog.h"
#include "ui/notice.h"
#include "ui/path_dialog.h"
#include "version.h"

RunState runState;

// comctl32 (version 6, as the manifest asks) is not a KnownDLL: it is loaded
// once the DLL search is limited to the system folder, never imported.
static void initCommonControls()
{
    HMODULE controls = LoadLibraryA("comctl32.dll");
    FARPROC init = controls ? GetProcAddress(controls, "InitCommonControls") : NULL;
    if (init)
        reinterpret_cast<void(WINAPI*)()>(reinterpret_cast<void*>(init))();
}

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
    logLine("version check %d", verdict);
    switch (verdict) {
    case RESULT_MISSING:
        showNotice("Unable to find current version number. Please download a complete install from our website.",
                   "Error", MB_ICONERROR);
        return false;
    case RESULT_TOO_OLD:
        showNotice("The current version is too old to be updated by this patch.\n"
                   "Please download the complete install from our web page.",
                   UPDATER_CAPTION, MB_ICONERROR);
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
    logLine("path dialog \"%s\"", runState.installFolder);
}

static EntryList patchEntries()
{
    return EntryList{runState.entries, runState.script.entryCount};
}

static StagedFile stagedFiles[MAX_FILE_ENTRIES];

// What each entry did, a line a step: its bytes read, and the error that stopped it (0 when none).
static void logEntry(int i, const char* step, unsigned long error)
{
    wchar_t bytes[DECIMAL_CAPACITY];
    writeDecimal(stagedFiles[i].bytes, bytes);
    logLine("entry %d %hs \"%s\" %s bytes, error %lu %s", i + 1, error ? "failed" : step, runState.entries[i].targetPath,
            bytes, error, errorText(error));
}

static unsigned long stageEntryNumber(int i)
{
    unsigned long error = stageEntry(runState.programFolder, runState.installFolder, &runState.entries[i],
                                     patchEntries(), listedFile(i), stagedFiles, &stagedFiles[i]);
    logEntry(i, stagedFiles[i].staged ? "staged" : "in place", error);
    return error;
}

static void closeEveryStaged()
{
    logLine("renaming");
    for (StagedFile& staged : stagedFiles)
        closeStaged(&staged);
}

static unsigned long placeEntryNumber(int i)
{
    bool renamed = stagedFiles[i].staged;
    unsigned long error = putInPlace(&stagedFiles[i]);
    if (renamed)
        logEntry(i, "renamed", error);
    return error;
}

static void discardEveryStaged()
{
    for (StagedFile& staged : stagedFiles)
        discardStaged(&staged);
}

static_assert(int(MAX_COPY_FILES) == int(MAX_FILE_ENTRIES), "the copy dialog shows every entry");
static_assert(sizeof PathDialogData::folder == sizeof runState.installFolder, "the path field holds a folder");

static CopyOutcome copyEntries()
{
    static CopyDialogData data;
    data.count = runState.script.entryCount;
    data.stageFile = stageEntryNumber;
    data.closeStaged = closeEveryStaged;
    data.placeFile = placeEntryNumber;
    data.discardStaged = discardEveryStaged;
    for (int i = 0; i < data.count; i++) {
        const EntryNames* entry = &runState.entries[i];
        wsprintfW(data.files[i].source, L"%s\\%s", runState.programFolder, entry->sourceName);
        wsprintfW(data.files[i].destination, L"%s\\%s", runState.installFolder, entry->targetPath);
    }
    CopyOutcome outcome = {runCopyDialog(runState.instance, &data), false, false, false, data.damaged >= 0};
    if (outcome.damaged)
        tellDamaged(runState.script.entries[data.damaged].sourceName);
    for (int i = 0; i < data.count; i++) {
        unsigned long error = data.errors[i];
        outcome.fileInUse |= error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
                             error == ERROR_USER_MAPPED_FILE;
        outcome.diskFull |= error == ERROR_HANDLE_DISK_FULL || error == ERROR_DISK_FULL;
        outcome.accessDenied |= error == ERROR_ACCESS_DENIED;
    }
    return outcome;
}

// Only an updater that holds the vendor's key copies with administrator rights:
// whatever it installs there, the vendor signed.
static void tellCannotElevate(const wchar_t* installFolder)
{
    showFailure("The game's folder %s can only be changed with administrator rights, and this update cannot use "
                "them: it does not come with the game's publisher's key.\n"
                "Please download the update from the game's publisher, or ask whoever installed the game.",
                installFolder);
}

// How a run reached its end: a stage ended it (the patch is cleaned away), it
// was refused before the first copy in a way that running it again may mend
// (the patch is kept), or the copy ran, here or with administrator rights.
enum RunEnd { RUN_ENDED, RUN_KEPT, RUN_COPIED, RUN_COPIED_AS_ADMINISTRATOR };

static RunEnd runStagesAndCopy(CopyOutcome* outcome)
{
    if (readUpdateScript() != 0)
        return RUN_ENDED;
    if (!patchIsTrusted())
        return RUN_KEPT;
    if (readInstallPath() == RESULT_MISSING)
        return RUN_ENDED;
    memcpy(runState.recordFolder, runState.installFolder, sizeof runState.recordFolder);
    bool fullMode = runState.script.fullMode != 0;
    if (fullMode) {
        if (!acceptVerdict(checkInstalledVersion()))
            return RUN_ENDED;
        confirmInstallFolder();
    }
    if (runState.installFolder[0] == '\0')
        return RUN_ENDED;
    if (runState.elevated && !proveGameInstallation(runState.installFolder, runState.installFolder))
        return RUN_KEPT;
    if (!patchFitsOnDisk(runState.programFolder, runState.installFolder, patchEntries()) ||
        !findDeltaBases(runState.installFolder, runState.entries, runState.script.entryCount))
        return RUN_KEPT;
    RunEnd end = RUN_COPIED;
    if (!runState.elevated && refusesNewFiles(runState.programFolder, runState.installFolder, patchEntries())) {
        logLine("elevating");
        if (!builtInPatchKey()) {
            tellCannotElevate(runState.installFolder);
            return RUN_KEPT;
        }
        ElevatedCopy copy = copyAsAdministrator(runState.instance, runState.programFolder, runState.installFolder,
                                                runState.script.entryCount, outcome);
        end = copy == ELEVATED_COPY_RAN ? RUN_COPIED_AS_ADMINISTRATOR : RUN_KEPT;
    } else {
        *outcome = copyEntries();
        end = outcome->damaged ? RUN_KEPT : runState.elevated ? RUN_COPIED_AS_ADMINISTRATOR : RUN_COPIED;
    }
    // A patch that did not arrive whole must not be recorded as installed.
    if (fullMode && end != RUN_KEPT && outcome->notCopied == 0)
        stampVersion();
    return end;
}

static void tellOutcome(const CopyOutcome& outcome, bool asAdministrator)
{
    if (outcome.notCopied == 0) {
        showNotice("Installation complete", "Success", MB_OK);
        return;
    }
    const char* advice =
        asAdministrator && outcome.accessDenied
            ? "The game's folder refused the update even with administrator rights: another program may protect it."
        : outcome.fileInUse && outcome.diskFull ? "Close the game, free some space on the disk and run this update again."
        : outcome.fileInUse                   ? "Close the game and run this update again."
        : outcome.diskFull                    ? "Free some space on the disk and run this update again."
                                              : "Close the game and run this update again; if it fails again, please "
                                                "download a complete install from our website.";
    showFailure("The update was not completed: %d of %d files could not be copied.\n%hs", outcome.notCopied,
                runState.script.entryCount, advice);
}

static void runOnce()
{
    CopyOutcome outcome = {};
    RunEnd end = runStagesAndCopy(&outcome);
    logLine("end %d, %d of %d not copied", end, outcome.notCopied, runState.script.entryCount);
    bool copied = end == RUN_COPIED || end == RUN_COPIED_AS_ADMINISTRATOR;
    // An incomplete copy keeps the patch, to be run again once the player has
    // closed the game; starting the game now would hold its files once more.
    bool complete = copied && outcome.notCopied == 0;
    if (end == RUN_ENDED || complete)
        removePatchFiles();
    if (!copied)
        return;
    if (runState.script.fullMode != 0)
        tellOutcome(outcome, end == RUN_COPIED_AS_ADMINISTRATOR);
    // Never as administrator: any program the player runs may have changed the installed game since.
    if (runState.script.hasRunCommand && complete && !runState.elevated)
        launchInstalledProgram(runState.runCommand, runState.installFolder);
}

// The copy that the player's run starts with administrator rights: the script
// beside it, every entry into the folder it was given, with the copy dialog and
// its notices, and nothing else. Its exit code says how the copy went.
static int runCopyOnly(const wchar_t* folder)
{
    if (!builtInPatchKey())
        return COPY_REPORTED | COPY_REFUSED;
    if (readUpdateScriptQuietly() != 0)
        return 0;
    if (!patchIsTrusted())
        return COPY_REPORTED | COPY_KEPT;
    if (!proveGameInstallation(folder, runState.installFolder))
        return COPY_REPORTED | COPY_REFUSED;
    if (!patchFitsOnDisk(runState.programFolder, runState.installFolder, patchEntries()) ||
        !findDeltaBases(runState.installFolder, runState.entries, runState.script.entryCount))
        return COPY_REPORTED | COPY_KEPT;
    CopyOutcome outcome = copyEntries();
    return outcome.damaged ? COPY_REPORTED | COPY_KEPT : (int)exitCodeOf(outcome);
}

int runUpdate(HINSTANCE instance)
{
    runState.instance = instance;
    initCommonControls();
    findProgramFolder();
    SetCurrentDirectoryW(runState.programFolder);

    wchar_t copyOnlyFolder[TEXT_CAPACITY];
    runState.elevated = runsElevated();
    if (readCopyOnlySwitch(copyOnlyFolder)) {
        int code = runCopyOnly(copyOnlyFolder);  // not held back by the run lock: the run that holds it started it
        releaseHeldFolders();
        return code;
    }
    if (!runState.elevated)
        openRunLog();
    logLine("updater " PROJECT_VERSION_TEXT " key %hs patch \"%s\"", patchKeyFingerprint(), runState.programFolder);
    HANDLE runLock;
    if (!lockPatchFolder(runState.programFolder, &runLock)) {
        showNotice("This update is already running.", "Sorvane Online", MB_ICONERROR);
        return 0;
    }
    runOnce();
    releaseHeldFolders();
    if (runLock)
        CloseHandle(runLock);
    logLine("done");
    closeRunLog();
    return 0;
}
