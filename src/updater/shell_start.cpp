#include "shell_start.h"

#include <shellapi.h>

// shell32 is loaded only when a program must be started through it: most runs
// never need it, and it brings many DLLs with it. Its search is limited to the
// system folder, as every load of this program is.
HANDLE shellStart(const wchar_t* verb, const wchar_t* program, const wchar_t* parameters, const wchar_t* folder)
{
    typedef BOOL(WINAPI * ShellExecuteExProc)(SHELLEXECUTEINFOW*);
    HMODULE shell = LoadLibraryA("shell32.dll");
    ShellExecuteExProc shellExecuteEx =
        shell ? reinterpret_cast<ShellExecuteExProc>(reinterpret_cast<void*>(GetProcAddress(shell, "ShellExecuteExW")))
              : NULL;
    if (!shellExecuteEx)
        return NULL;
    SHELLEXECUTEINFOW start = {};
    start.cbSize = sizeof start;
    start.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    start.lpVerb = verb;
    start.lpFile = program;
    start.lpParameters = parameters;
    start.lpDirectory = folder;
    start.nShow = SW_SHOWNORMAL;
    return shellExecuteEx(&start) ? start.hProcess : NULL;
}
