#include "launch.h"

#include <windows.h>

#include "format/path_text.h"
#include "run_log.h"
#include "shell_start.h"

// The program a command line names: its first name, quoted or not. Returns
// what follows it, the program's arguments.
static const wchar_t* firstName(const wchar_t* commandLine, wchar_t* name)
{
    while (*commandLine == L' ' || *commandLine == L'\t')
        commandLine++;
    bool quoted = *commandLine == L'"';
    commandLine += quoted;
    int length = 0;
    for (; commandLine[length] && length < TEXT_CAPACITY - 1; length++) {
        wchar_t c = commandLine[length];
        if (quoted ? c == L'"' : c == L' ' || c == L'\t')
            break;
        name[length] = c;
    }
    name[length] = 0;
    const wchar_t* rest = commandLine + length;
    rest += quoted && *rest == L'"';
    while (*rest == L' ' || *rest == L'\t')
        rest++;
    return rest;
}

// Found as Windows finds a program for a command line, ".exe" added to a name
// without an extension, but in the installation folder only: never in the
// folder of this program (the patch folder, which may hold a file of the same
// name), the system folders or PATH, where a namesake would start instead.
static bool findProgram(const wchar_t* name, const wchar_t* installFolder, wchar_t* found)
{
    // SearchPath looks for ".\game.exe" in the current folder only, which is
    // the patch folder here; it means the installation folder's game.exe.
    while (name[0] == L'.' && (name[1] == L'\\' || name[1] == L'/'))
        name += 2;
    DWORD length = installFolder[0] ? SearchPathW(installFolder, name, L".exe", TEXT_CAPACITY, found, NULL) : 0;
    return length > 0 && length < TEXT_CAPACITY;
}

void launchInstalledProgram(const wchar_t* commandLine, const wchar_t* installFolder)
{
    wchar_t name[TEXT_CAPACITY], program[TEXT_CAPACITY], line[TEXT_CAPACITY];
    const wchar_t* arguments = firstName(commandLine, name);
    if (name[0] == 0 || !findProgram(name, installFolder, program)) {
        logLine("run \"%s\" not found", name);
        return;
    }
    // The game finds its DLLs as it does when the player starts it: this
    // program's own restriction would be passed on to it.
    SetDllDirectoryA(NULL);
    lstrcpynW(line, commandLine, TEXT_CAPACITY);  // CreateProcessW may write into its command line
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION process;
    unsigned long error = 0;
    if (CreateProcessW(program, line, NULL, NULL, FALSE, 0, NULL, installFolder, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else if ((error = GetLastError()) == 740) {  // ERROR_ELEVATION_REQUIRED, which MinGW's headers lack
        // A game whose manifest asks for administrator rights: the shell asks the player.
        HANDLE game = shellStart(NULL, program, arguments, installFolder);
        error = game ? 0 : GetLastError();
        if (game)
            CloseHandle(game);
    }
    logLine("run \"%s\" error %lu %s", program, error, errorText(error));
}
