#pragma once
#include <stdint.h>

// What copying one entry will do, decided once for both programs: the updater
// forecasts its copy with it, and patchtool's plan shows it. Each gathers the
// facts its own way (Win32, std::filesystem); the rule is this one.
struct EntryFacts {
    bool pathFits;                     // the installation folder, a backslash and the entry: at most 259 characters
    bool staysInside;                  // the entry leaves no folder (staysInsideFolder)
    unsigned long sourceError;         // 0, or why the patch file cannot be read (2: it is missing)
    unsigned long folderError;         // 0, or why the destination's folder cannot be had (3: it is missing)
    bool destinationExists;
    bool sameFile;                     // the destination is the patch file itself: a patch unpacked into the installation
    bool destinationIsFolder;
    bool destinationReadOnlyOrHidden;  // a file the updater never overwrites, as CopyFile refuses it on Windows
    uint64_t sourceBytes;
};

enum EntryAction { ENTRY_FAILS, ENTRY_NEW, ENTRY_REPLACES, ENTRY_IN_PLACE };

struct EntryVerdict {
    EntryAction action;
    unsigned long error;   // the error number the player is shown when it fails, else 0
    uint64_t stagedBytes;  // what its staged copy adds on the installation's disk: every file written is staged
                           // beside the one it replaces, so a replaced file needs its whole size too
};

// Inline: the updater keeps only what its facts can reach.
inline EntryVerdict judgeEntry(const EntryFacts& facts)
{
    unsigned long error = !facts.pathFits      ? 206  // ERROR_FILENAME_EXCED_RANGE
                          : !facts.staysInside ? 161  // ERROR_BAD_PATHNAME
                          : facts.sourceError  ? facts.sourceError
                          : facts.folderError  ? facts.folderError
                          : facts.destinationExists && !facts.sameFile &&
                                  (facts.destinationIsFolder || facts.destinationReadOnlyOrHidden)
                              ? 5  // ERROR_ACCESS_DENIED
                              : 0;
    if (error != 0)
        return EntryVerdict{ENTRY_FAILS, error, 0};
    if (!facts.destinationExists)
        return EntryVerdict{ENTRY_NEW, 0, facts.sourceBytes};
    if (facts.sameFile)
        return EntryVerdict{ENTRY_IN_PLACE, 0, 0};
    return EntryVerdict{ENTRY_REPLACES, 0, facts.sourceBytes};
}
