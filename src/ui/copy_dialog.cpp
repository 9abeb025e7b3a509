#include "copy_dialog.h"

#include <windows.h>
#include <commctrl.h>
#include <string.h>

#include "../run/run_state.h"
#include "../run/same_file.h"
#include "notice.h"
#include "resources/resource.h"

// The copy runs on a worker thread, so that the dialog keeps answering while a
// write is stuck on the disk. The worker owns these until it ends; the dialog
// reads them only after it has waited for the worker.
static HANDLE copyWorker;
static volatile LONG copyFinished;
static int copiedCount;

static void showPaths(HWND dialog, const FileEntry* entry)
{
    char shown[2 * TEXT_CAPACITY + 8];
    wsprintfA(shown, "%s\\%s", runState.programFolder, entry->sourceName);
    SetDlgItemTextA(dialog, IDC_SOURCE, shown);
    wsprintfA(shown, "%s\\%s", runState.installFolder, entry->targetPath);
    SetDlgItemTextA(dialog, IDC_DESTINATION, shown);
}

// Returns 0 when copied, otherwise the error number the user is shown.
static DWORD copyEntry(const FileEntry* entry)
{
    char source[TEXT_CAPACITY];
    char destination[TEXT_CAPACITY];
    if (!composePath(source, runState.programFolder, entry->sourceName) ||
        !composePath(destination, runState.installFolder, entry->targetPath))
        return ERROR_FILENAME_EXCED_RANGE;
    if (!staysInsideFolder(entry->targetPath))
        return ERROR_BAD_PATHNAME;
    WIN32_FILE_ATTRIBUTE_DATA found, existing;
    if (!GetFileAttributesExA(source, GetFileExInfoStandard, &found))
        return GetLastError();
    if (GetFileAttributesExA(destination, GetFileExInfoStandard, &existing)) {
        // A patch unpacked into the installation: the file is already in place.
        // One file shows the same size, attributes and times under any name.
        if (memcmp(&found, &existing, sizeof found) == 0 && haveSameIdentity(source, destination))
            return 0;
        // CopyFileA refuses a read-only destination on Windows; Wine running as
        // root would overwrite it, so the check is made here too.
        if ((existing.dwFileAttributes & FILE_ATTRIBUTE_READONLY) &&
            !(existing.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return ERROR_ACCESS_DENIED;
    }
    return CopyFileA(source, destination, FALSE) ? 0 : GetLastError();
}

static bool askToContinue(const FileEntry* entry, DWORD error)
{
    char text[2 * TEXT_CAPACITY + 80];
    wsprintfA(text, "Failed on copy %s\\%s\nWould you like to continue? Error %d", runState.installFolder,
              entry->targetPath, static_cast<int>(error));
    return showNotice(text, "Sorvane Online Updater", MB_ICONERROR | MB_YESNO) != IDNO;
}

// Labels and bar as the worker reaches entry i, after i entries processed: one
// message a file, since each message to the dialog's thread costs a round trip.
// The worker is let go at once, so that the repaint (about a millisecond a file
// under Wine) runs beside the copy; before a notice the worker waits for it.
static void onShowEntry(HWND dialog, WPARAM i)
{
    ReplyMessage(0);
    SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETPOS, i, 0);
    showPaths(dialog, &runState.script.entries[i]);
}

static DWORD WINAPI copyEntries(LPVOID parameter)
{
    HWND dialog = static_cast<HWND>(parameter);
    int i = 0;
    for (; i < runState.script.entryCount; i++) {
        const FileEntry* entry = &runState.script.entries[i];
        SendMessageA(dialog, WM_SHOW_ENTRY, i, 0);
        DWORD error = copyEntry(entry);
        if (error == 0) {
            copiedCount++;
        } else {
            SendMessageA(dialog, WM_NULL, 0, 0);  // answered once the entry is shown
            if (!askToContinue(entry, error))
                break;
        }
    }
    SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETPOS, i, 0);
    InterlockedExchange(&copyFinished, 1);
    PostMessageA(dialog, WM_CLOSE, 0, 0);
    return 0;
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
    copyWorker = CreateThread(NULL, 0, copyEntries, dialog, 0, NULL);
    if (!copyWorker)
        PostMessageA(dialog, WM_CLOSE, 0, 0);
}

// A close while the worker copies is left to the worker's own WM_CLOSE, which
// comes once every entry has been processed: the run never goes on mid-copy.
static void onClose(HWND dialog)
{
    if (copyWorker) {
        if (!copyFinished)
            return;
        WaitForSingleObject(copyWorker, INFINITE);
        CloseHandle(copyWorker);
        copyWorker = NULL;
    }
    EndDialog(dialog, 0);
}

static INT_PTR CALLBACK copyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        onInitDialog(dialog);
        break;
    case WM_START_COPY:
        onStartCopy(dialog);
        break;
    case WM_SHOW_ENTRY:
        onShowEntry(dialog, wParam);
        break;
    case WM_CLOSE:
        onClose(dialog);
        break;
    }
    return 0;
}

int runCopyDialog()
{
    copiedCount = 0;
    copyFinished = 0;
    DialogBoxParamA(runState.instance, MAKEINTRESOURCEA(IDD_COPY), NULL, copyDialogProc, 0);
    return runState.script.entryCount - copiedCount;
}
