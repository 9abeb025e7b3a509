// The references the updater's quiet mode is measured against: the same job by
// the shortest road, CopyFileA of every file the script lists from the patch
// folder into the installation folder, then DeleteFileA of the sources; and,
// with "safe", the shortest road that keeps each file whole or old: each file
// copied to a temporary name beside its target, written to the disk, renamed.
//   reference_copy.exe <patch folder> <installation folder> <count> [safe]
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

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

int main(int argc, char** argv)
{
    if (argc != 4 && argc != 5)
        return 2;
    bool safe = argc == 5 && strcmp(argv[4], "safe") == 0;
    int count = atoi(argv[3]);
    int failed = 0;
    for (int i = 0; i < count; i++) {
        char source[MAX_PATH], destination[MAX_PATH];
        snprintf(source, sizeof source, "%s\\f%02d.bin", argv[1], i);
        snprintf(destination, sizeof destination, "%s\\f%02d.bin", argv[2], i);
        failed += safe ? !copySafely(source, destination) : !CopyFileA(source, destination, FALSE);
    }
    for (int i = 0; i < count; i++) {
        char source[MAX_PATH];
        snprintf(source, sizeof source, "%s\\f%02d.bin", argv[1], i);
        DeleteFileA(source);
    }
    return failed;
}
