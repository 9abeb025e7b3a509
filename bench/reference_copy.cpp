// The reference the updater's quiet mode is measured against: CopyFileA over
// the files a script lists, from the patch folder into the installation folder,
// and nothing else.
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
    return failed;
}
