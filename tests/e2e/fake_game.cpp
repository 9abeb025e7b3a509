// Stands in for the launched game: writes its own path, its current directory
// and its command line, in UTF-8, to "launch.log" in its current directory.
#include <windows.h>
#include <stdio.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    wchar_t text[3 * MAX_PATH * 2] = L"";
    DWORD length = GetModuleFileNameW(NULL, text, MAX_PATH * 2);
    length += wsprintfW(text + length, L"\n");
    length += GetCurrentDirectoryW(MAX_PATH * 2, text + length);
    wsprintfW(text + length, L"\n%s", GetCommandLineW());
    char bytes[sizeof text * 2];
    FILE* log = fopen("launch.log", "wb");
    if (!log)
        return 1;
    fputs(WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes, 0, 0) ? bytes : "", log);
    return fclose(log);
}
