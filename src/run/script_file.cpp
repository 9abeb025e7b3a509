#include <windows.h>
#include <string.h>

#include "../ui/notice.h"
#include "run_state.h"

static void tellScriptNotFound(const char* scriptPath)
{
    char text[TEXT_CAPACITY + 64];
    wsprintfA(text, "%s file not found.", scriptPath);
    showNotice(text, "Sorvane Online", MB_ICONERROR);
}

// The script is mapped rather than read into a buffer, so that its size is
// bounded by nothing but the file itself.
static bool parseScriptFile(HANDLE file, ScriptParseResult* result)
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size))
        return false;
    if (size.QuadPart == 0) {
        *result = parseUpdateScript("", 0, &runState.script);
        return true;
    }
    HANDLE mapping = CreateFileMappingA(file, NULL, PAGE_READONLY, 0, 0, NULL);
    if (!mapping)
        return false;
    const char* bytes = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    if (bytes) {
        *result = parseUpdateScript(bytes, static_cast<size_t>(size.QuadPart), &runState.script);
        UnmapViewOfFile(bytes);
    }
    CloseHandle(mapping);
    return bytes != NULL;
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
    ScriptParseResult result = SCRIPT_READ;
    bool parsed = file != INVALID_HANDLE_VALUE && parseScriptFile(file, &result);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (!parsed) {
        tellScriptNotFound(scriptPath);
        return -1;
    }
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
