#pragma once
// Starts a program as a player's double-click does on Windows: with the limited
// token. Wine starts every process as an elevated administrator, and its token's
// linked token is the limited one; started that way, updater.exe takes the
// player's road, as on Windows. asAdministrator keeps this process's own token
// ("Run as administrator"). For the suite, the demo and the bench alike.
#include <windows.h>

inline BOOL startProgram(const wchar_t* program, wchar_t* commandLine, bool asAdministrator,
                         PROCESS_INFORMATION* process)
{
    STARTUPINFOW startup = {sizeof startup};
    HANDLE own, player = NULL;
    TOKEN_LINKED_TOKEN linked = {};
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    DWORD size;
    if (!asAdministrator && OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own)) {
        // Only a full token's linked token is the limited one; a limited token's is the full one.
        GetTokenInformation(own, TokenElevationType, &type, sizeof type, &size);
        if (type == TokenElevationTypeFull && GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &size)) {
            DuplicateTokenEx(linked.LinkedToken, TOKEN_ALL_ACCESS, NULL, SecurityImpersonation, TokenPrimary, &player);
            CloseHandle(linked.LinkedToken);
        }
        CloseHandle(own);
    }
    BOOL started = player ? CreateProcessAsUserW(player, program, commandLine, NULL, NULL, FALSE, 0, NULL, NULL,
                                                 &startup, process)
                          : CreateProcessW(program, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, process);
    if (player)
        CloseHandle(player);
    return started;
}
