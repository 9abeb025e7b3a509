#include "install_folder.h"

#include "format/installation_proof.h"
#include "format/path_text.h"
#include "held_folders.h"
#include "patch_crypto.h"
#include "patch_trust.h"
#include "../run_state.h"
#include "../ui/notice.h"

static bool sameText(const wchar_t* a, int length, const wchar_t* b)
{
    return CompareStringOrdinal(a, length, b, -1, TRUE) == CSTR_EQUAL;
}

// A folder as HKEY_LOCAL_MACHINE names it, which only an administrator can change. These folders are
// named in ASCII on every Windows; the names are too (narrow text: this program stays small).
static bool readMachineFolder(const char* key, const char* name, wchar_t* folder)
{
    char text[TEXT_CAPACITY];
    DWORD size = sizeof text;
    folder[0] = 0;
    return RegGetValueA(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, NULL,
                        text, &size) == ERROR_SUCCESS &&
           MultiByteToWideChar(CP_ACP, 0, text, -1, folder, TEXT_CAPACITY) > 0;
}

// "%SystemDrive%" is taken from the Windows folder, never from the environment, which the player sets.
static void replaceSystemDrive(wchar_t* folder, const wchar_t* windows)
{
    const wchar_t token[] = L"%SystemDrive%";
    int length = lstrlenW(token);
    if (CompareStringOrdinal(folder, length, token, length, TRUE) != CSTR_EQUAL)
        return;
    wchar_t rest[TEXT_CAPACITY];
    lstrcpyW(rest, folder + length);
    lstrcpynW(folder, windows, 3);
    lstrcatW(folder, rest);
}

static bool isRefusedPlace(const wchar_t* folder)
{
    wchar_t windows[TEXT_CAPACITY], place[TEXT_CAPACITY], drive[4] = {folder[0], L':', L'\\', 0};
    int length = lstrlenW(folder), parent = length;
    while (parent > 0 && folder[parent] != L'\\')
        parent--;
    UINT windowsLength = GetSystemWindowsDirectoryW(windows, TEXT_CAPACITY);
    if (length <= 3 || GetDriveTypeW(drive) != DRIVE_FIXED || windowsLength == 0 || windowsLength >= TEXT_CAPACITY)
        return true;
    if (sameText(folder, (int)windowsLength, windows) && (folder[windowsLength] == 0 || folder[windowsLength] == L'\\'))
        return true;
    const char* programFiles[] = {"ProgramFilesDir", "ProgramFilesDir (x86)", "ProgramW6432Dir"};
    for (const char* name : programFiles)
        if (readMachineFolder("SOFTWARE\\Microsoft\\Windows\\CurrentVersion", name, place) && sameText(folder, -1, place))
            return true;
    if (readMachineFolder("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", "ProfilesDirectory", place)) {
        replaceSystemDrive(place, windows);
        if (sameText(folder, -1, place) || sameText(folder, parent, place))
            return true;
    }
    return false;
}

static void tellNotInstallation(const wchar_t* folder)
{
    showFailure("The folder %s is not this game's installation, so the update was not installed there.\n"
                "Please download a complete install from our website.", folder);
}

// The installed file at a path the manifest names, read below the held installation.
static void readInstalled(const char* path, InstalledFile* found)
{
    wchar_t name[TEXT_CAPACITY];
    const wchar_t* leaf;
    HANDLE folder, file = INVALID_HANDLE_VALUE;
    MultiByteToWideChar(CP_ACP, 0, path, -1, name, TEXT_CAPACITY);
    unsigned long error = openHeldFolder(name, &folder, &leaf);
    if (error == 0)
        error = openInFolder(folder, leaf, GENERIC_READ, FILE_SHARE_READ, FILE_OPEN, &file);
    found->present = error != ERROR_PATH_NOT_FOUND && error != ERROR_FILE_NOT_FOUND;
    // A file that cannot be read, or is reached through a link, is none of the listed versions.
    if (error != 0 || !hashOpenFile(file, &found->size, found->sha256))
        found->size = ~0ull;
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
}

// The differing file is named as the script names it, 8-bit text in the ANSI code page (%hs).
static bool tellProof(InstallationProof proof, const wchar_t* folder, const char* differing)
{
    if (proof == PROOF_MISSING)
        showFailure("This update lists none of the game's files, so it cannot use administrator rights in %s.\n"
                    "Ask the game's publisher for a new update.", folder);
    else if (proof == PROOF_DIFFERS)
        showFailure("The game in %s is not a version this update is for (its file %hs differs): nothing was "
                    "installed.\nIf you changed the game, reinstall it first.", folder, differing);
    return proof == PROOF_HOLDS;
}

bool proveGameInstallation(const wchar_t* folder, wchar_t* final)
{
    if (!builtInPatchKey()) {
        showFailure("Without the game's publisher's key this update cannot use administrator rights: nothing was "
                    "installed.\nRun it again without \"Run as administrator\".");
        return false;
    }
    // Only "X:\..." as typed: a network (UNC) or device path ("\\?\", "\\.\") is never opened,
    // so that no administrator's credentials go to another machine.
    bool driveLetter = ((folder[0] | 0x20) >= L'a' && (folder[0] | 0x20) <= L'z') && folder[1] == L':' && folder[2] == L'\\';
    HANDLE opened = !driveLetter ? INVALID_HANDLE_VALUE
                                 : CreateFileW(folder, FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                                               HELD_FOLDER_SHARING, NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    // A file of that name is opened too: then nothing below it is found, and the proof fails.
    wchar_t path[FULL_PATH_CAPACITY];
    DWORD length = opened == INVALID_HANDLE_VALUE
                       ? 0
                       : GetFinalPathNameByHandleW(opened, path, FULL_PATH_CAPACITY, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    // The final path is "\\?\X:\...", or "\\?\UNC\..." for a network folder reached through a link.
    bool judged = length > 4 && length < TEXT_CAPACITY + 4 && path[5] == L':' && path[6] == L'\\';
    if (judged) {
        lstrcpyW(final, path + 4);
        judged = !isRefusedPlace(final);
    }
    if (!judged) {
        if (opened != INVALID_HANDLE_VALUE)
            CloseHandle(opened);
        tellNotInstallation(folder);
        return false;
    }
    holdInstallation(opened, path);
    const PatchManifest* manifest = verifiedManifest();
    static InstalledFile found[MAX_OLD_FILES];
    int firstLine[MAX_OLD_FILES], paths = manifest ? listOldPaths(manifest, firstLine) : 0, differing = 0;
    for (int k = 0; k < paths; k++)
        readInstalled(manifest->oldFiles[firstLine[k]].path, &found[k]);
    InstallationProof proof = manifest ? proveInstallation(manifest, &runState.script, found, &differing) : PROOF_MISSING;
    return tellProof(proof, final, proof == PROOF_DIFFERS ? manifest->oldFiles[firstLine[differing]].path : "");
}
