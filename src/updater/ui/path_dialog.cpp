#include "path_dialog.h"

#include "resources/resource.h"

static void onInitDialog(HWND dialog, LPARAM data)
{
    SetWindowLongPtrA(dialog, DWLP_USER, data);
    SetForegroundWindow(dialog);
    // 259 so that what the field shows is exactly the folder that is used.
    SendDlgItemMessageA(dialog, IDC_PATH, EM_LIMITTEXT, sizeof PathDialogData::folder - 1, 0);
    SetDlgItemTextA(dialog, IDC_PATH, reinterpret_cast<PathDialogData*>(data)->folder);
}

static void onCommand(HWND dialog, WPARAM command)
{
    PathDialogData* data = reinterpret_cast<PathDialogData*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (command == IDOK)
        GetDlgItemTextA(dialog, IDC_PATH, data->folder, sizeof data->folder);
    else if (command == IDCANCEL)
        data->folder[0] = '\0';
    else
        return;
    PostMessageA(dialog, WM_CLOSE, 0, 0);
}

static INT_PTR CALLBACK pathDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        onInitDialog(dialog, lParam);
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

void runPathDialog(HINSTANCE instance, PathDialogData* data)
{
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_INSTALL_PATH), NULL, pathDialogProc, reinterpret_cast<LPARAM>(data));
}
