// The reference the updater's quiet mode is measured against: the same job by
// the shortest road, CopyFileA of every file the script lists from the patch
// folder into the installation folder, then DeleteFileA of the sources.
//   reference_copy.exe <patch folder> <installation folder> <count>
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv)
{
    if (argc != 4)
        return 2;
    int count = atoi(argv[3]);
    int failed = 0;
    for (int i = 0; i < count; i++) {
        char source[MAX_PATH], destination[MAX_PATH];
        snprintf(source, sizeof source, "%s\\f%02d.bin", argv[1], i);
        snprintf(destination, sizeof destination, "%s\\f%02d.bin", argv[2], i);
        failed += !CopyFileA(source, destination, FALSE);
    }
    for (int i = 0; i < count; i++) {
        char source[MAX_PATH];
        snprintf(source, sizeof source, "%s\\f%02d.bin", argv[1], i);
        DeleteFileA(source);
    }
    return failed;
}
