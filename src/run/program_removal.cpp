#include "program_removal.h"

#include <windows.h>

#include "run_state.h"

// The system's own cmd.exe waits for end of file on a pipe whose writing end only
// this process holds; it arrives when the process has ended. It then deletes the
// file, retrying while the system releases the image, and ends. Nothing stays.
static const char DELETE_COMMAND[] =
    " /d /q /c for /l %i in (1,1,400) do @(set /p end= 2>nul & "
    "if exist updater.exe (del /q updater.exe 2>nul) else exit)";

void deleteProgramAfterExit()
{
    char systemFolder[TEXT_CAPACITY];
    char shell[TEXT_CAPACITY];
    char folder[TEXT_CAPACITY];
    UINT length = GetSystemDirectoryA(systemFolder, sizeof systemFolder);
    // The folder with a trailing backslash, so that a drive's root is its root.
    if (length == 0 || length >= sizeof systemFolder || !composePath(shell, systemFolder, "cmd.exe") ||
        !composePath(folder, runState.programFolder, ""))
        return;
    char commandLine[TEXT_CAPACITY + sizeof DELETE_COMMAND + 2];
    wsprintfA(commandLine, "\"%s\"%s", shell, DELETE_COMMAND);

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
    if (CreateProcessA(shell, commandLine, NULL, NULL, TRUE, CREATE_NO_WINDOW, NULL, folder, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        CloseHandle(writeEnd);
    }
    CloseHandle(readEnd);
    // writeEnd stays open on purpose: the process's end closes it.
}
