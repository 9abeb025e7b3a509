#include "space_check.h"

#include <windows.h>

#include "format/disk_space.h"
#include "format/update_script.h"
#include "../run_log.h"
#include "../ui/notice.h"

// A file that two entries write (the run entry is often listed twice) is
// staged the second time in place of the first.
static void planCopies(const wchar_t* patchFolder, const wchar_t* installFolder, EntryList patch, SpaceUse* uses)
{
    for (int i = 0; i < patch.count; i++) {
        EntryForecast forecast;
        forecastEntry(patchFolder, installFolder, &patch.entries[i], &forecast);
        uses[i].newBytes = forecast.stagedBytes;
        uses[i].sameFileAs = -1;
        for (int earlier = 0; forecast.stagedBytes > 0 && earlier < i; earlier++)
            if (CompareStringOrdinal(patch.entries[earlier].targetPath, -1, patch.entries[i].targetPath, -1, TRUE) == CSTR_EQUAL &&
                uses[earlier].newBytes > 0)
                uses[i].sameFileAs = earlier;
    }
}

static unsigned long long clusterBytesOf(const wchar_t* folder)
{
    wchar_t volume[TEXT_CAPACITY];
    DWORD sectorsPerCluster, bytesPerSector, freeClusters, clusters;
    if (!GetVolumePathNameW(folder, volume, TEXT_CAPACITY) ||
        !GetDiskFreeSpaceW(volume, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters))
        return 0;
    return (unsigned long long)sectorsPerCluster * bytesPerSector;
}

static void tellNoSpace(const wchar_t* installFolder, unsigned long long needed, unsigned long long available)
{
    unsigned long long neededTenths = tenthsOfMegabyte(needed, true), freeTenths = tenthsOfMegabyte(available, false);
    showFailure("There is not enough free space on the disk of %s.\n"
                "The update needs %lu.%lu MB there and %lu.%lu MB is free. Free some space on that disk and run "
                "the update again.",
                installFolder, (unsigned long)(neededTenths / 10), (unsigned long)(neededTenths % 10),
                (unsigned long)(freeTenths / 10), (unsigned long)(freeTenths % 10));
}

bool patchFitsOnDisk(const wchar_t* patchFolder, const wchar_t* installFolder, EntryList patch)
{
    ULARGE_INTEGER available, total, free;
    // A folder that cannot be asked is left to the copies, which report it.
    if (!GetDiskFreeSpaceExW(installFolder, &available, &total, &free))
        return true;
    SpaceUse uses[MAX_FILE_ENTRIES];
    planCopies(patchFolder, installFolder, patch, uses);
    unsigned long long needed = peakSpaceNeeded(uses, patch.count, clusterBytesOf(installFolder));
    logLine("space %lu KiB needed %lu KiB free", (unsigned long)(needed >> 10), (unsigned long)(available.QuadPart >> 10));
    if (needed <= available.QuadPart)
        return true;
    tellNoSpace(installFolder, needed, available.QuadPart);
    return false;
}
