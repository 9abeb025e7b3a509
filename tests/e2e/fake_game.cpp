// Stands in for the launched game: writes its current directory and command
// line to "launch.log" in its current directory, then exits.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char folder[MAX_PATH * 2];
    DWORD length = GetCurrentDirectoryA(sizeof folder, folder);
    HANDLE log = CreateFileA("launch.log", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (log == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written;
    const char* commandLine = GetCommandLineA();
    WriteFile(log, folder, length, &written, NULL);
    WriteFile(log, "\n", 1, &written, NULL);
    WriteFile(log, commandLine, lstrlenA(commandLine), &written, NULL);
    CloseHandle(log);
    return 0;
}
