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
        uint64_t copy = wholeClusters(uses[i].newBytes, clusterBytes);
        uint64_t held = addCapped(added, copy);
        if (held > freed && held - freed > peak)
            peak = held - freed;
        added = held;
        freed = addCapped(freed, wholeClusters(uses[i].replacedBytes, clusterBytes));
    }
    return peak;
}

uint64_t tenthsOfMegabyte(uint64_t bytes, bool roundUp)
{
    const uint64_t megabyte = 1 << 20;
    uint64_t restInTenths = bytes % megabyte * 10;
    return bytes / megabyte * 10 + restInTenths / megabyte + (roundUp && restInTenths % megabyte != 0);
}
