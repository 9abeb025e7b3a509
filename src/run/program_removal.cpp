#include "program_removal.h"

#include <windows.h>

#include "run_state.h"

// The system's own cmd.exe waits for end of file on a pipe whose writing end only
// this process holds; it arrives when the process has ended. It then deletes the
// file by its full path, trying again a few times while the system lets go of
// the image. cmd has no sleep: an empty loop is the pause between attempts, and
// the attempts are written out, since Wine's cmd does not repeat a deletion
// inside a loop. Nothing stays behind.
static const char DELETE_ATTEMPT[] = " & (for /l %%i in (1,1,2000) do @rem) & del /q \"%s\" 2>nul";
static const int DELETE_ATTEMPTS = 6;

void deleteProgramAfterExit()
{
    char systemFolder[TEXT_CAPACITY];
    char shell[TEXT_CAPACITY];
    char program[TEXT_CAPACITY];
    UINT length = GetSystemDirectoryA(systemFolder, sizeof systemFolder);
    if (length == 0 || length >= sizeof systemFolder || !composePath(shell, systemFolder, "cmd.exe") ||
        !composePath(program, runState.programFolder, "updater.exe"))
        return;
    // cmd.exe would expand a % in the path; such a program is left where it is.
    for (const char* c = program; *c; c++)
        if (*c == '%')
            return;
    char commandLine[(sizeof DELETE_ATTEMPT + 2 * TEXT_CAPACITY) * DELETE_ATTEMPTS];
    char* end = commandLine + wsprintfA(commandLine, "\"%s\" /d /q /c set /p end= 2>nul & del /q \"%s\" 2>nul",
                                        shell, program);
    for (int attempt = 1; attempt < DELETE_ATTEMPTS; attempt++)
        end += wsprintfA(end, DELETE_ATTEMPT, program);

    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, NULL, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0))
        return;
    SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = readEnd;
    PROCESS_INFORMATION process;
    // Started in the system folder, so that it holds no patch folder open, and
    // without a console, whose setup could take over the standard input.
    if (CreateProcessA(shell, commandLine, NULL, NULL, TRUE, DETACHED_PROCESS, NULL, systemFolder, &startup,
                       &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        CloseHandle(writeEnd);
    }
    CloseHandle(readEnd);
    // writeEnd stays open on purpose: the process's end closes it.
}
