#include "path_dialog.h"

#include <windows.h>

#include "../run/run_state.h"
#include "resources/resource.h"

static void onInitDialog(HWND dialog)
{
    SetForegroundWindow(dialog);
    // 259 so that what the field shows is exactly the folder that is used.
    SendDlgItemMessageA(dialog, IDC_PATH, EM_LIMITTEXT, TEXT_CAPACITY - 1, 0);
    SetDlgItemTextA(dialog, IDC_PATH, runState.installFolder);
}

static void onCommand(HWND dialog, WPARAM command)
{
    if (command == IDOK)
        GetDlgItemTextA(dialog, IDC_PATH, runState.installFolder, TEXT_CAPACITY);
    else if (command == IDCANCEL)
        runState.installFolder[0] = '\0';
    else
        return;
    PostMessageA(dialog, WM_CLOSE, 0, 0);
}

static INT_PTR CALLBACK pathDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        onInitDialog(dialog);
        break;
    case WM_COMMAND:
        onCommand(dialog, wParam);
        break;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        break;
    }
    return 0;
}

void runPathDialog()
{
    DialogBoxParamA(runState.instance, MAKEINTRESOURCEA(IDD_INSTALL_PATH), NULL, pathDialogProc, 0);
}
