#include "elevated_copy.h"

#include "format/path_text.h"
#include "../run_log.h"
#include "../shell_start.h"
#include "../ui/notice.h"

ElevatedCopy copyAsAdministrator(HINSTANCE instance, const wchar_t* programFolder, const wchar_t* installFolder,
                                 int entryCount, CopyOutcome* outcome)
{
    wchar_t program[TEXT_CAPACITY], parameters[TEXT_CAPACITY + 16];
    DWORD length = GetModuleFileNameW(instance, program, TEXT_CAPACITY);
    wsprintfW(parameters, L"/copy-only \"%s\"", installFolder);
    HANDLE copy = length > 0 && length < TEXT_CAPACITY ? shellStart(L"runas", program, parameters, programFolder)
                                                       : NULL;
    if (!copy) {
        showFailure("The game's folder %s can only be changed with administrator rights.\n"
                    "Run the update again and allow it, or ask whoever installed the game.", installFolder);
        return ELEVATION_DECLINED;
    }
    DWORD code = 0;
    WaitForSingleObject(copy, INFINITE);
    GetExitCodeProcess(copy, &code);
    CloseHandle(copy);
    logLine("elevated exit 0x%lx", code);
    // Either way the copy-only process has told the player why.
    if (code == (COPY_REPORTED | COPY_KEPT) || code == (COPY_REPORTED | COPY_REFUSED))
        return ELEVATED_COPY_REFUSED;
    if (!readExitCode(code, outcome))
        *outcome = CopyOutcome{entryCount, false, false, false, false};
    return ELEVATED_COPY_RAN;
}
