#include "cleanup.h"

#include "copy/delta_entry.h"
#include "copy/patch_trust.h"
#include "format/patch_manifest.h"
#include "run_log.h"
#include "run_state.h"
#include "same_file.h"

// Deletes by full path, so that a program in a drive's root ("C:") deletes from
// that root and not from whatever directory the drive has as current.
static int deletePatchFile(const wchar_t* name)
{
    wchar_t path[TEXT_CAPACITY];
    return name[0] != 0 && composePath(path, runState.programFolder, name) && DeleteFileW(path);
}

// A patch unpacked into the installation folder holds the installed files
// themselves: such a file is the entry's destination and must stay.
static bool isInstalledCopy(const EntryNames* entry)
{
    wchar_t patchFile[TEXT_CAPACITY];
    wchar_t installed[TEXT_CAPACITY];
    if (!composePath(patchFile, runState.programFolder, entry->sourceName))
        return false;
    const wchar_t* folders[] = {runState.recordFolder, runState.installFolder};
    for (const wchar_t* folder : folders)
        if (folder[0] != 0 && composePath(installed, folder, entry->targetPath) && isSameFile(patchFile, installed))
            return true;
    return false;
}

// updater.exe cannot delete itself while it runs: that deletion fails and the
// program stays in the emptied patch folder.
void removePatchFiles()
{
    if (runState.programFolder[0] == 0)
        return;
    SetCurrentDirectoryW(runState.programFolder);
    int removed = 0;
    for (int i = 0; i < runState.script.entryCount; i++) {
        const EntryNames* entry = &runState.entries[i];
        if (staysInsideFolder(entry->sourceName) && !isInstalledCopy(entry))
            removed += deletePatchFile(entry->sourceName);
    }
    const PatchManifest* manifest = verifiedManifest();
    for (int i = 0; manifest && i < manifest->deltaCount; i++) {
        wchar_t name[TEXT_CAPACITY];
        if (deltaFileWideName(&manifest->deltas[i], name))
            removed += deletePatchFile(name);
    }
    removed += deletePatchFile(MANIFEST_FILE) + deletePatchFile(SCRIPT_FILE) + deletePatchFile(L"updater.exe");
    logLine("cleaned %d", removed);
}
