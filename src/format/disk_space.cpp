#include "disk_space.h"

static uint64_t addCapped(uint64_t a, uint64_t b)
{
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

static uint64_t wholeClusters(uint64_t bytes, uint64_t clusterBytes)
{
    if (clusterBytes == 0 || bytes % clusterBytes == 0)
        return bytes;
    return addCapped(bytes - bytes % clusterBytes, clusterBytes);
}

uint64_t peakSpaceNeeded(const SpaceUse* uses, int count, uint64_t clusterBytes)
{
    uint64_t added = 0, freed = 0, peak = 0;
    for (int i = 0; i < count; i++) {
        int earlier = uses[i].sameFileAs;
        // The earlier copy is removed before this one is written.
        if (earlier >= 0 && earlier < i && uses[i].newBytes > 0)
            freed = addCapped(freed, wholeClusters(uses[earlier].newBytes, clusterBytes));
        added = addCapped(added, wholeClusters(uses[i].newBytes, clusterBytes));
        if (added > freed && added - freed > peak)
            peak = added - freed;
    }
    return peak;
}

uint64_t tenthsOfMegabyte(uint64_t bytes, bool roundUp)
{
    const uint64_t megabyte = 1 << 20;
    uint64_t restInTenths = bytes % megabyte * 10;
    return bytes / megabyte * 10 + restInTenths / megabyte + (roundUp && restInTenths % megabyte != 0);
}
