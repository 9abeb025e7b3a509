#include <windows.h>

#include "run_state.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;  // this program's own module, as the linker places it

// The image's load configuration, which GNU ld points at this symbol: its
// DependentLoadFlags (the field MinGW's headers still call Reserved1) makes the
// loader look for the DLLs this program imports in the system folder only,
// never beside it in a download folder, before any of its code runs. Wine's
// loader ignores it; only Windows shows it.
extern "C" const IMAGE_LOAD_CONFIG_DIRECTORY64 _load_config_used = {
    sizeof(IMAGE_LOAD_CONFIG_DIRECTORY64), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, LOAD_LIBRARY_SEARCH_SYSTEM32,
    0, 0, 0, 0};

// Before anything else loads late, keep DLL look-ups out of the patch folder,
// which is often a download folder holding anything. Looked up by name because
// Windows before 8 (without its update) lacks the call.
static void restrictDllSearchToSystem()
{
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesProc)(DWORD);
    HMODULE kernel = LoadLibraryA("kernel32.dll");  // a KnownDLL, already loaded
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
    // Read once, so that the linker keeps the load configuration that nothing else refers to.
    if (*(volatile const DWORD*)&_load_config_used.Size == 0)
        ExitProcess(1);
    restrictDllSearchToSystem();
    ExitProcess(runUpdate(reinterpret_cast<HINSTANCE>(&__ImageBase)));
}
