#include <windows.h>

#include "run_state.h"

// Before anything else loads late, keep DLL look-ups out of the patch folder,
// which is often a download folder holding anything. Looked up by name because
// Windows before 8 (without its update) lacks the call.
static void restrictDllSearchToSystem()
{
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesProc)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    SetDefaultDllDirectoriesProc setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesProc>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefaultDllDirectories)
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryA("");
}

// The program's entry, in place of the C runtime's start-up code: the program
// needs nothing of it (no constructors, arguments or exit handlers), and
// without it updater.exe is a third smaller.
extern "C" void updaterStart()
{
    restrictDllSearchToSystem();
    ExitProcess(runUpdate(GetModuleHandleA(NULL)));
}
