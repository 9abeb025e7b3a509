#include "install_record.h"

#include <windows.h>
#include <string.h>

#include "format/number_rule.h"
#include "run_log.h"
#include "run_state.h"
#include "format/stage_results.h"
#include "ui/notice.h"
#include "format/version_gate.h"

static bool openRecord(REGSAM access, HKEY* key)
{
    return RegOpenKeyExW(HKEY_CURRENT_USER, runState.registryKey, 0, access, key) == ERROR_SUCCESS;
}

static void tellRecordMissing()
{
    showNotice("Unable to find initial installation information. Please download a complete install from our website.",
               "Error", MB_OK);
}

// A value that is not terminated is ended after its last character; one that
// cannot be is dropped. False when nothing whole remains.
template <typename Char>
static bool terminate(Char* text, DWORD size)
{
    DWORD length = size / sizeof(Char);
    if (length > 0 && text[length - 1] == 0)
        return true;
    if (length >= TEXT_CAPACITY)
        return false;
    text[length] = 0;
    return true;
}

// installFolder receives a whole path or stays empty. A string is read as the
// wide text it is stored as; a value of another type as 8-bit text in the ANSI
// code page, within the 260 bytes that the ANSI functions read.
static void queryInstallFolder(HKEY key)
{
    union {
        wchar_t text[TEXT_CAPACITY];
        char bytes[TEXT_CAPACITY];
    } value;
    DWORD type, size = sizeof value.text;
    if (RegQueryValueExW(key, L"path", NULL, &type, reinterpret_cast<BYTE*>(value.text), &size) != ERROR_SUCCESS)
        return;
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
        if (terminate(value.text, size))
            memcpy(runState.installFolder, value.text, sizeof value.text);
    } else if (size <= sizeof value.bytes && terminate(value.bytes, size)) {
        MultiByteToWideChar(CP_ACP, 0, value.bytes, -1, runState.installFolder, TEXT_CAPACITY);
    }
}

int readInstallPath()
{
    HKEY key;
    if (!openRecord(KEY_READ, &key)) {
        tellRecordMissing();
        return RESULT_MISSING;
    }
    queryInstallFolder(key);
    RegCloseKey(key);
    logLine("record path \"%s\"", runState.installFolder);
    return RESULT_OK;
}

// A value shorter than 4 bytes fills the low-order bytes; a longer one fails.
// Read through the ANSI form: a short text value reads as a number from its bytes.
static bool queryVersion(HKEY key, const char* name)
{
    uint32_t value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key, name, NULL, NULL, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS)
        return false;
    runState.installedVersion = static_cast<int32_t>(value);
    return true;
}

int readInstalledVersion()
{
    HKEY key;
    if (!openRecord(KEY_READ, &key)) {
        tellRecordMissing();
        return RESULT_MISSING;
    }
    bool found = queryVersion(key, "version") || queryVersion(key, "ver");
    RegCloseKey(key);
    logLine("record version %ld %d", (long)runState.installedVersion, found);
    return found ? RESULT_OK : RESULT_MISSING;
}

int checkInstalledVersion()
{
    if (readInstalledVersion() == RESULT_MISSING)
        return RESULT_MISSING;
    return versionVerdict(readNumber(runState.script.patchVersion), runState.installedVersion,
                          readNumber(runState.script.minimumVersion));
}

int stampVersion()
{
    HKEY key;
    bool written = false;
    if (openRecord(KEY_SET_VALUE, &key)) {
        DWORD version = static_cast<DWORD>(readNumber(runState.script.patchVersion));
        written = RegSetValueExW(key, L"version", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&version),
                                 sizeof version) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    logLine("stamp %hs %d", runState.script.patchVersion, written);
    if (!written)
        showNotice("Unable to update the registry version", "Error", MB_OK);
    return written ? 1 : 0;
}
