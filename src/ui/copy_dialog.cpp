#include "copy_dialog.h"

#include <windows.h>
#include <commctrl.h>

#include "../run/run_state.h"
#include "file_copy.h"
#include "notice.h"
#include "resources/resource.h"

static int copiedCount;
static DWORD lastRefresh;

// The copy runs inside one message, so the dialog is brought up to date here,
// at most every 50 ms: painting every file of a patch of small files would cost
// more than copying them. A large file keeps it current between its chunks.
static void refreshSometimes(HWND dialog)
{
    DWORD now = GetTickCount();
    if (now - lastRefresh >= 50) {
        handlePendingMessages(dialog);
        lastRefresh = now;
    }
}

static void showPaths(HWND dialog, const FileEntry* entry)
{
    char shown[2 * TEXT_CAPACITY + 8];
    wsprintfA(shown, "%s\\%s", runState.programFolder, entry->sourceName);
    SetDlgItemTextA(dialog, IDC_SOURCE, shown);
    wsprintfA(shown, "%s\\%s", runState.installFolder, entry->targetPath);
    SetDlgItemTextA(dialog, IDC_DESTINATION, shown);
    refreshSometimes(dialog);
}

// Returns 0 when copied, otherwise the error number the user is shown.
static DWORD copyEntry(HWND dialog, const FileEntry* entry)
{
    char source[TEXT_CAPACITY];
    char destination[TEXT_CAPACITY];
    if (!composePath(source, runState.programFolder, entry->sourceName) ||
        !composePath(destination, runState.installFolder, entry->targetPath))
        return ERROR_FILENAME_EXCED_RANGE;
    if (!staysInsideFolder(entry->targetPath))
        return ERROR_BAD_PATHNAME;
    // A close that arrives during the copy ends the dialog after the loop, as during a failure notice.
    return copyFileKeepingWindowAlive(source, destination, dialog);
}

static bool askToContinue(const FileEntry* entry, DWORD error)
{
    char text[2 * TEXT_CAPACITY + 80];
    wsprintfA(text, "Failed on copy %s\\%s\nWould you like to continue? Error %d", runState.installFolder,
              entry->targetPath, static_cast<int>(error));
    return showNotice(text, "Sorvane Online Updater", MB_ICONERROR | MB_YESNO) != IDNO;
}

static void onInitDialog(HWND dialog)
{
    SetForegroundWindow(dialog);
    SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, runState.script.entryCount));
    SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETSTEP, 1, 0);
    PostMessageA(dialog, WM_START_COPY, 0, 0);
}

static void onStartCopy(HWND dialog)
{
    for (int i = 0; i < runState.script.entryCount; i++) {
        const FileEntry* entry = &runState.script.entries[i];
        showPaths(dialog, entry);
        DWORD error = copyEntry(dialog, entry);
        if (error == 0)
            copiedCount++;
        else if (!askToContinue(entry, error))
            break;
        SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_STEPIT, 0, 0);
    }
    PostMessageA(dialog, WM_CLOSE, 0, 0);
}

static INT_PTR CALLBACK copyDialogProc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        onInitDialog(dialog);
        break;
    case WM_START_COPY:
        onStartCopy(dialog);
        break;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        break;
    }
    return 0;
}

int runCopyDialog()
{
    copiedCount = 0;
    lastRefresh = GetTickCount() - 50;
    DialogBoxParamA(runState.instance, MAKEINTRESOURCEA(IDD_COPY), NULL, copyDialogProc, 0);
    return runState.script.entryCount - copiedCount;
}
