// Stands in for the launched game: writes its own path, its current directory,
// its command line and its parent's process id, in UTF-8, to "launch.log" in
// its current directory. Built twice: as fake_game.exe, and as admin_game.exe
// with a manifest that asks for administrator rights.
#include <windows.h>
#include <stdio.h>
#include <tlhelp32.h>

static DWORD parentProcessId()
{
    DWORD parent = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {sizeof entry};
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (entry.th32ProcessID == GetCurrentProcessId())
            parent = entry.th32ParentProcessID;
    CloseHandle(snapshot);
    return parent;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    wchar_t text[3 * MAX_PATH * 2 + 32] = L"";
    DWORD length = GetModuleFileNameW(NULL, text, MAX_PATH * 2);
    length += wsprintfW(text + length, L"\n");
    length += GetCurrentDirectoryW(MAX_PATH * 2, text + length);
    lstrcpynW(text + length, L"\n", 2);
    lstrcpynW(text + length + 1, GetCommandLineW(), MAX_PATH * 2);
    wsprintfW(text + lstrlenW(text), L"\nparent %lu", parentProcessId());
    char bytes[sizeof text * 2];
    FILE* log = fopen("launch.log", "wb");
    if (!log)
        return 1;
    fputs(WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes, 0, 0) ? bytes : "", log);
    return fclose(log);
}
