#pragma once

// A patch file that does not match its manifest: not a Windows error (bit 29
// marks an application's own), never shown as a number.
const unsigned long ERROR_PATCH_DAMAGED = 0x20000001;

// What a copy met: how many entries did not arrive, and what kinds of error
// stopped them, for the advice after an incomplete copy. The copy-only process
// reports it to the player's process as its exit code.
struct CopyOutcome {
    int notCopied;
    bool fileInUse;     // errors 32, 33, 1224: another program holds the file
    bool diskFull;      // errors 39, 112
    bool accessDenied;  // error 5
    bool damaged;       // a patch file did not match its manifest: nothing was put in place (the player was told)
};

enum {
    COPY_REPORTED = 0x10000,  // a copy-only process that ended without it reported nothing
    COPY_KEPT = 0x20000,      // with COPY_REPORTED alone: refused before any copy (it told the player why)
    COPY_REFUSED = 0x40000,   // with COPY_REPORTED alone: not the game's installation, or no key; nothing read or written
    COPY_IN_USE = 0x100,
    COPY_DISK_FULL = 0x200,
    COPY_ACCESS_DENIED = 0x400,
    COPY_COUNT_MASK = 0xFF,
};

inline unsigned long exitCodeOf(const CopyOutcome& outcome)
{
    return COPY_REPORTED | (unsigned long)outcome.notCopied | (outcome.fileInUse ? COPY_IN_USE : 0) |
           (outcome.diskFull ? COPY_DISK_FULL : 0) | (outcome.accessDenied ? COPY_ACCESS_DENIED : 0);
}

// False when the code is no report (a crash, or a process that read no script).
inline bool readExitCode(unsigned long code, CopyOutcome* outcome)
{
    if ((code & ~(unsigned long)(COPY_COUNT_MASK | COPY_IN_USE | COPY_DISK_FULL | COPY_ACCESS_DENIED)) !=
        COPY_REPORTED)
        return false;
    outcome->notCopied = (int)(code & COPY_COUNT_MASK);
    outcome->fileInUse = (code & COPY_IN_USE) != 0;
    outcome->diskFull = (code & COPY_DISK_FULL) != 0;
    outcome->accessDenied = (code & COPY_ACCESS_DENIED) != 0;
    return true;
}
