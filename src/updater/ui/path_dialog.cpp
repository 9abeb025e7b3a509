#include "path_dialog.h"

#include "resources/resource.h"

static void onInitDialog(HWND dialog, LPARAM data)
{
    SetWindowLongPtrW(dialog, DWLP_USER, data);
    SetForegroundWindow(dialog);
    // 259 so that what the field shows is exactly the folder that is used.
    SendDlgItemMessageW(dialog, IDC_PATH, EM_LIMITTEXT, PATH_FIELD_CAPACITY - 1, 0);
    SetDlgItemTextW(dialog, IDC_PATH, reinterpret_cast<PathDialogData*>(data)->folder);
}

static void onCommand(HWND dialog, WPARAM command)
{
    PathDialogData* data = reinterpret_cast<PathDialogData*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (command == IDOK)
        GetDlgItemTextW(dialog, IDC_PATH, data->folder, PATH_FIELD_CAPACITY);
    else if (command == IDCANCEL)
        data->folder[0] = L'\0';
    else
        return;
    PostMessageW(dialog, WM_CLOSE, 0, 0);
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
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_INSTALL_PATH), NULL, pathDialogProc, reinterpret_cast<LPARAM>(data));
}
