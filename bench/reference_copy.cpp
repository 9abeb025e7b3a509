// The references the updater's quiet mode is measured against, each the same job
// by a road of known shape, for the patch's files f00.bin, f01.bin, ...:
//   (none)  CopyFileA of every file into the installation, then DeleteFileA of the sources;
//   safe    each file copied to a temporary name beside its target, flushed, renamed;
//   staged  each file copied to its temporary name, flushed and closed; then all renamed;
//   held    the updater's own shape: each temporary file written through a handle that
//           stays open until every file is written; then each flushed and closed; then all renamed;
//   lay     only CopyFileA into the second folder: the bench's data, written by a Windows program.
// staged and held copy as the updater does, through 1 MiB reads and writes.
//   reference_copy.exe <patch folder> <installation folder> <count> [safe|staged|held|lay]
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static char buffer[1 << 20];

static bool copySafely(const char* source, const char* destination)
{
    char temporary[MAX_PATH];
    snprintf(temporary, sizeof temporary, "%s.updating", destination);
    if (!CopyFileA(source, temporary, FALSE))
        return false;
    HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    bool flushed = file != INVALID_HANDLE_VALUE && FlushFileBuffers(file);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return flushed && MoveFileExA(temporary, destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

// The source's bytes into a new temporary file beside the destination, left open.
static HANDLE writeTemporary(const char* source, const char* temporary)
{
    HANDLE from = CreateFileA(source, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    DeleteFileA(temporary);
    HANDLE to = CreateFileA(temporary, GENERIC_WRITE | DELETE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD got = 0, written;
    while (from != INVALID_HANDLE_VALUE && to != INVALID_HANDLE_VALUE && ReadFile(from, buffer, sizeof buffer, &got, NULL) && got > 0)
        WriteFile(to, buffer, got, &written, NULL);
    if (from != INVALID_HANDLE_VALUE)
        CloseHandle(from);
    return to;
}

static void name(char* path, const char* folder, int i, const char* suffix)
{
    snprintf(path, MAX_PATH, "%s\\f%02d.bin%s", folder, i, suffix);
}

// staged (held false) or held: every file written first, all renamed last.
static int copyStaged(const char* patch, const char* install, int count, bool held)
{
    static HANDLE open[100];
    char source[MAX_PATH], temporary[MAX_PATH], destination[MAX_PATH];
    for (int i = 0; i < count; i++) {
        name(source, patch, i, "");
        name(temporary, install, i, ".updating");
        open[i] = writeTemporary(source, temporary);
        if (!held && open[i] != INVALID_HANDLE_VALUE) {
            FlushFileBuffers(open[i]);
            CloseHandle(open[i]);
        }
    }
    for (int i = 0; held && i < count; i++)
        if (open[i] != INVALID_HANDLE_VALUE) {
            FlushFileBuffers(open[i]);
            CloseHandle(open[i]);
        }
    int failed = 0;
    for (int i = 0; i < count; i++) {
        name(temporary, install, i, ".updating");
        name(destination, install, i, "");
        failed += !MoveFileExA(temporary, destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    }
    return failed;
}

int main(int argc, char** argv)
{
    if (argc != 4 && argc != 5)
        return 2;
    const char* mode = argc == 5 ? argv[4] : "";
    int count = atoi(argv[3]);
    int failed = 0;
    char source[MAX_PATH], destination[MAX_PATH];
    if (strcmp(mode, "staged") == 0 || strcmp(mode, "held") == 0) {
        failed = copyStaged(argv[1], argv[2], count, strcmp(mode, "held") == 0);
    } else {
        for (int i = 0; i < count; i++) {
            name(source, argv[1], i, "");
            name(destination, argv[2], i, "");
            failed += strcmp(mode, "safe") == 0 ? !copySafely(source, destination) : !CopyFileA(source, destination, FALSE);
        }
    }
    for (int i = 0; strcmp(mode, "lay") != 0 && i < count; i++) {
        name(source, argv[1], i, "");
        DeleteFileA(source);
    }
    return failed;
}
