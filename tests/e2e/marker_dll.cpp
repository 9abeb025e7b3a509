// Planted in a patch folder under the names of system DLLs: if it is ever
// loaded, it leaves "<its own path>.loaded" beside itself.
#include <windows.h>

// So that it could stand in for comctl32 in the program's imports.
extern "C" __declspec(dllexport) void WINAPI InitCommonControls() {}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    char marker[MAX_PATH + 8] = "";
    if (reason == DLL_PROCESS_ATTACH && GetModuleFileNameA(self, marker, MAX_PATH))
        CloseHandle(CreateFileA(lstrcatA(marker, ".loaded"), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    return TRUE;
}
