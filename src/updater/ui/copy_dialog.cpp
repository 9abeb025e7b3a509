#include "copy_dialog.h"

#include <commctrl.h>
#include <string.h>

#include "../copy/copy_outcome.h"
#include "notice.h"
#include "resources/resource.h"

// The copy runs on a worker thread, so that the dialog keeps answering while a
// write is stuck on the disk. The worker owns these until it ends; the dialog
// reads them only after it has waited for the worker.
static CopyDialogData* job;
static HANDLE copyWorker;
static volatile LONG copyFinished;
static int copiedCount;

static bool askToContinue(const CopyDialogFile* file, DWORD error)
{
    return showNotice("Failed on copy %s\nWould you like to continue? Error %d", UPDATER_CAPTION,
                      MB_ICONERROR | MB_YESNO, file->destination, static_cast<int>(error)) != IDNO;
}

// Labels and bar as the worker reaches file i, the bar at position: one
// message a file, since each message to the dialog's thread costs a round trip.
// The worker is let go at once, so that the repaint (about a millisecond a file
// under Wine) runs beside the copy; before a notice the worker waits for it.
static void onShowFile(HWND dialog, WPARAM i, LPARAM position)
{
    ReplyMessage(0);
    SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETPOS, position, 0);
    SetDlgItemTextW(dialog, IDC_SOURCE, job->files[i].source);
    SetDlgItemTextW(dialog, IDC_DESTINATION, job->files[i].destination);
}

// False when the player answers No.
static bool tellFailure(HWND dialog, int i, DWORD error)
{
    SendMessageW(dialog, WM_NULL, 0, 0);  // answered once the file is shown
    return askToContinue(&job->files[i], error);
}

// Every file is staged before the first is put in place, so that a run cut
// off while staging leaves the installation as it was. The files staged
// before a No, or beside a skipped one, are put in place all the same.
static DWORD WINAPI copyFiles(LPVOID parameter)
{
    HWND dialog = static_cast<HWND>(parameter);
    int staged = 0;
    for (; staged < job->count; staged++) {
        SendMessageW(dialog, WM_SHOW_ENTRY, staged, staged);
        DWORD error = job->errors[staged] = job->stageFile(staged);
        if (error == ERROR_PATCH_DAMAGED) {
            job->damaged = staged;
            break;
        }
        if (error != 0 && !tellFailure(dialog, staged, error))
            break;
    }
    SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETPOS, staged, 0);
    if (job->damaged < 0) {
        job->closeStaged();
        for (int i = 0; i < staged; i++) {
            if (job->errors[i] != 0)
                continue;
            SendMessageW(dialog, WM_SHOW_ENTRY, i, staged);
            DWORD error = job->errors[i] = job->placeFile(i);
            copiedCount += error == 0;
            if (error != 0 && !tellFailure(dialog, i, error))
                break;
        }
    }
    job->discardStaged();
    InterlockedExchange(&copyFinished, 1);
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    return 0;
}

static void onInitDialog(HWND dialog, LPARAM data)
{
    job = reinterpret_cast<CopyDialogData*>(data);
    SetForegroundWindow(dialog);
    SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, job->count));
    SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETSTEP, 1, 0);
    PostMessageW(dialog, WM_START_COPY, 0, 0);
}

static void onStartCopy(HWND dialog)
{
    copyWorker = CreateThread(NULL, 0, copyFiles, dialog, 0, NULL);
    if (!copyWorker)
        PostMessageW(dialog, WM_CLOSE, 0, 0);
}

// A close while the worker copies is left to the worker's own WM_CLOSE, which
// comes once every file has been processed: the run never goes on mid-copy.
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

static INT_PTR CALLBACK copyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        onInitDialog(dialog, lParam);
        break;
    case WM_START_COPY:
        onStartCopy(dialog);
        break;
    case WM_SHOW_ENTRY:
        onShowFile(dialog, wParam, lParam);
        break;
    case WM_CLOSE:
        onClose(dialog);
        break;
    }
    return 0;
}

int runCopyDialog(HINSTANCE instance, CopyDialogData* data)
{
    memset(data->errors, 0, sizeof data->errors);
    data->damaged = -1;
    copiedCount = 0;
    copyFinished = 0;
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_COPY), NULL, copyDialogProc, reinterpret_cast<LPARAM>(data));
    return data->count - copiedCount;
}
