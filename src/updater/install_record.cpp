#include "install_record.h"

#include <windows.h>
#include <string.h>

#include "format/number_rule.h"
#include "run_state.h"
#include "format/stage_results.h"
#include "ui/notice.h"
#include "format/version_gate.h"

static bool openRecord(REGSAM access, HKEY* key)
{
    return RegOpenKeyExA(HKEY_CURRENT_USER, runState.script.registryKey, 0, access, key) == ERROR_SUCCESS;
}

static void tellRecordMissing()
{
    showNotice("Unable to find initial installation information. Please download a complete install from our website.",
               "Error", MB_OK);
}

// installFolder receives a whole, terminated path or stays empty: a value that
// is not terminated is ended after its last byte, one that cannot be is dropped.
static void queryInstallFolder(HKEY key)
{
    char value[TEXT_CAPACITY];
    DWORD size = sizeof value;
    if (RegQueryValueExA(key, "path", NULL, NULL, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS)
        return;
    if (size == 0 || value[size - 1] != '\0') {
        if (size >= sizeof value)
            return;
        value[size] = '\0';
    }
    strcpy(runState.installFolder, value);
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
    return RESULT_OK;
}

// A value shorter than 4 bytes fills the low-order bytes; a longer one fails.
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
        written = RegSetValueExA(key, "version", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&version),
                                 sizeof version) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    if (!written)
        showNotice("Unable to update the registry version", "Error", MB_OK);
    return written ? 1 : 0;
}
