// Stands in for the launched game: writes its current directory and command
// line to "launch.log" in its current directory, then exits.
#include <windows.h>
#include <stdio.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char folder[MAX_PATH * 2] = "";
    GetCurrentDirectoryA(sizeof folder, folder);
    FILE* log = fopen("launch.log", "wb");
    if (!log)
        return 1;
    fprintf(log, "%s\n%s", folder, GetCommandLineA());
    return fclose(log);
}
