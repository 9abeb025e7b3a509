#include "copy_dialog.h"

#include <commctrl.h>
#include <string.h>

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
    wchar_t text[SHOWN_PATH_CAPACITY + 80];
    wsprintfW(text, L"Failed on copy %s\nWould you like to continue? Error %d", file->destination,
              static_cast<int>(error));
    return showNotice(text, L"Sorvane Online Updater", MB_ICONERROR | MB_YESNO) != IDNO;
}

// Labels and bar as the worker reaches file i, after i files processed: one
// message a file, since each message to the dialog's thread costs a round trip.
// The worker is let go at once, so that the repaint (about a millisecond a file
// under Wine) runs beside the copy; before a notice the worker waits for it.
static void onShowFile(HWND dialog, WPARAM i)
{
    ReplyMessage(0);
    SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETPOS, i, 0);
    SetDlgItemTextW(dialog, IDC_SOURCE, job->files[i].source);
    SetDlgItemTextW(dialog, IDC_DESTINATION, job->files[i].destination);
}

static DWORD WINAPI copyFiles(LPVOID parameter)
{
    HWND dialog = static_cast<HWND>(parameter);
    int i = 0;
    for (; i < job->count; i++) {
        SendMessageW(dialog, WM_SHOW_ENTRY, i, 0);
        DWORD error = job->errors[i] = job->copyFile(i);
        if (error == 0) {
            copiedCount++;
        } else {
            SendMessageW(dialog, WM_NULL, 0, 0);  // answered once the file is shown
            if (!askToContinue(&job->files[i], error))
                break;
        }
    }
    SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETPOS, i, 0);
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
        onShowFile(dialog, wParam);
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
    copiedCount = 0;
    copyFinished = 0;
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_COPY), NULL, copyDialogProc, reinterpret_cast<LPARAM>(data));
    return data->count - copiedCount;
}
