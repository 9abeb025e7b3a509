#include <windows.h>
#include <string.h>

#include "copy/patch_crypto.h"
#include "run_log.h"
#include "run_state.h"
#include "ui/notice.h"

const wchar_t SCRIPT_FILE[] = L"update.txt";
const wchar_t MANIFEST_FILE[] = L"" MANIFEST_NAME;

static void tellScriptNotFound(const wchar_t* scriptPath)
{
    showNotice("%s file not found.", "Sorvane Online", MB_ICONERROR, scriptPath);
}

// Read piece by piece through one fixed buffer, so that any length of file is
// read without allocating. A read error ends the file there, as it would for a
// text-mode reader; a file shortened meanwhile simply ends sooner. The bytes
// read are hashed as they are parsed, so that what the manifest vouches for is
// what the run uses.
static ScriptParseResult parseScriptFile(HANDLE file)
{
    static char piece[16384];
    ScriptReader reader;
    Sha256 hash;
    beginScript(&reader, &runState.script);
    beginSha256(&hash);
    runState.scriptSize = 0;
    DWORD got = 0;
    while (ReadFile(file, piece, sizeof piece, &got, NULL) && got > 0) {
        feedScript(&reader, piece, got);
        addToSha256(&hash, piece, got);
        runState.scriptSize += got;
    }
    if (!finishSha256(&hash, runState.scriptDigest))
        memset(runState.scriptDigest, 0, sizeof runState.scriptDigest);
    return endScript(&reader);
}

// The script is 8-bit text in the system's ANSI code page, as the ANSI
// functions read it. No text grows in characters when decoded, so each fits.
static void decode(const char* text, wchar_t* decoded)
{
    MultiByteToWideChar(CP_ACP, 0, text, -1, decoded, TEXT_CAPACITY);
}

static void decodeScriptNames()
{
    const UpdateScript* script = &runState.script;
    decode(script->registryKey, runState.registryKey);
    decode(script->runCommand, runState.runCommand);
    for (int i = 0; i < script->entryCount; i++) {
        decode(script->entries[i].targetPath, runState.entries[i].targetPath);
        decode(script->entries[i].sourceName, runState.entries[i].sourceName);
    }
}

// The player is told why a script cannot be read, unless the copy-only
// process reads it: that one shows nothing but its copy.
static int readScript(bool tellPlayer)
{
    wchar_t scriptPath[TEXT_CAPACITY];
    // Without its own folder the program must not go looking for a script elsewhere.
    if (runState.programFolder[0] == '\0') {
        if (tellPlayer)
            tellScriptNotFound(SCRIPT_FILE);
        return -1;
    }
    if (!composePath(scriptPath, runState.programFolder, SCRIPT_FILE)) {
        wchar_t longPath[TEXT_CAPACITY + 16];
        wsprintfW(longPath, L"%s\\update.txt", runState.programFolder);
        if (tellPlayer)
            tellScriptNotFound(longPath);
        return -1;
    }
    HANDLE file = CreateFileW(scriptPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        if (tellPlayer)
            tellScriptNotFound(scriptPath);
        return -1;
    }
    ScriptParseResult result = parseScriptFile(file);
    CloseHandle(file);
    if (result == SCRIPT_TOO_MANY_ENTRIES) {
        // A refused script ends the run as a missing one does: none of it is used.
        memset(&runState.script, 0, sizeof runState.script);
        if (tellPlayer)
            showNotice("%s lists more than 50 files.", "Sorvane Online", MB_ICONERROR, scriptPath);
        return -1;
    }
    decodeScriptNames();
    const UpdateScript* script = &runState.script;
    logLine("script %lu bytes key \"%s\" version %hs minimum %hs mode %d entries %d run \"%s\"",
            (unsigned long)runState.scriptSize, runState.registryKey, script->patchVersion, script->minimumVersion,
            script->fullMode, script->entryCount, runState.runCommand);
    return 0;
}

int readUpdateScript()
{
    return readScript(true);
}

int readUpdateScriptQuietly()
{
    return readScript(false);
}
