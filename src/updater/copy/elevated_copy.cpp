#include "elevated_copy.h"

#include "format/path_text.h"
#include "../shell_start.h"
#include "../ui/notice.h"

// A notice about the game's folder: text holds one %s, for the folder.
static void tellAboutFolder(const wchar_t* text, const wchar_t* installFolder)
{
    wchar_t told[TEXT_CAPACITY + 160];
    wsprintfW(told, text, installFolder);
    showNotice(told, L"Sorvane Online Updater", MB_ICONERROR);
}

ElevatedCopy copyAsAdministrator(HINSTANCE instance, const wchar_t* programFolder, const wchar_t* installFolder,
                                 int entryCount, CopyOutcome* outcome)
{
    wchar_t program[TEXT_CAPACITY], parameters[TEXT_CAPACITY + 16];
    DWORD length = GetModuleFileNameW(instance, program, TEXT_CAPACITY);
    wsprintfW(parameters, L"/copy-only \"%s\"", installFolder);
    HANDLE copy = length > 0 && length < TEXT_CAPACITY ? shellStart(L"runas", program, parameters, programFolder)
                                                       : NULL;
    if (!copy) {
        tellAboutFolder(L"The game's folder %s can only be changed with administrator rights.\n"
                        L"Run the update again and allow it, or ask whoever installed the game.",
                        installFolder);
        return ELEVATION_DECLINED;
    }
    DWORD code = 0;
    WaitForSingleObject(copy, INFINITE);
    GetExitCodeProcess(copy, &code);
    CloseHandle(copy);
    if (code == (COPY_REPORTED | COPY_KEPT))
        return ELEVATED_COPY_REFUSED;
    if (code == (COPY_REPORTED | COPY_REFUSED)) {
        tellAboutFolder(L"The folder %s is not this game's installation, so the update was not installed there.\n"
                        L"Please download a complete install from our website.",
                        installFolder);
        return ELEVATED_COPY_REFUSED;
    }
    if (!readExitCode(code, outcome))
        *outcome = CopyOutcome{entryCount, false, false, false, false};
    return ELEVATED_COPY_RAN;
}
