#include <windows.h>
#include <string.h>

#include "ui/notice.h"
#include "run_state.h"

static void tellScriptNotFound(const char* scriptPath)
{
    char text[TEXT_CAPACITY + 64];
    wsprintfA(text, "%s file not found.", scriptPath);
    showNotice(text, "Sorvane Online", MB_ICONERROR);
}

// Read piece by piece through one fixed buffer, so that any length of file is
// read without allocating. A read error ends the file there, as it would for a
// text-mode reader; a file shortened meanwhile simply ends sooner.
static ScriptParseResult parseScriptFile(HANDLE file)
{
    static char piece[16384];
    ScriptReader reader;
    beginScript(&reader, &runState.script);
    DWORD got = 0;
    while (ReadFile(file, piece, sizeof piece, &got, NULL) && got > 0)
        feedScript(&reader, piece, got);
    return endScript(&reader);
}

int readUpdateScript()
{
    char scriptPath[TEXT_CAPACITY];
    // Without its own folder the program must not go looking for a script elsewhere.
    if (runState.programFolder[0] == '\0') {
        tellScriptNotFound("update.txt");
        return -1;
    }
    if (!composePath(scriptPath, runState.programFolder, "update.txt")) {
        char longPath[TEXT_CAPACITY + 16];
        wsprintfA(longPath, "%s\\update.txt", runState.programFolder);
        tellScriptNotFound(longPath);
        return -1;
    }
    HANDLE file = CreateFileA(scriptPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        tellScriptNotFound(scriptPath);
        return -1;
    }
    ScriptParseResult result = parseScriptFile(file);
    CloseHandle(file);
    if (result == SCRIPT_TOO_MANY_ENTRIES) {
        // A refused script ends the run as a missing one does: none of it is used.
        memset(&runState.script, 0, sizeof runState.script);
        char text[TEXT_CAPACITY + 64];
        wsprintfA(text, "%s lists more than 50 files.", scriptPath);
        showNotice(text, "Sorvane Online", MB_ICONERROR);
        return -1;
    }
    return 0;
}
