// as_player.exe PROGRAM [ARGUMENTS]: runs the command line after its own name as
// the player, with the limited token (tests/player_start.h), waits for it and
// ends with its exit code. The bench starts every contender through it alike.
#include <windows.h>

#include "../tests/player_start.h"

int main()
{
    wchar_t* rest = GetCommandLineW();
    bool quoted = *rest == L'"';
    for (rest += quoted; *rest && (quoted ? *rest != L'"' : *rest != L' '); rest++) {
    }
    for (rest += *rest == L'"'; *rest == L' '; rest++) {
    }
    PROCESS_INFORMATION process;
    if (!startProgram(NULL, rest, false, &process))
        return 127;
    DWORD code = 1;
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return (int)code;
}
