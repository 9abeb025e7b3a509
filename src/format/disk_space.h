#pragma once
#include <stdint.h>

// What one copy does to its volume: the patch file it adds and the installed
// file it replaces (0 when there is none, or when nothing will be written).
struct SpaceUse {
    uint64_t newBytes;
    uint64_t replacedBytes;
};

// The most space the copies hold at once, each file rounded up to whole
// clusters. Copied in order, each new file lies beside the one it replaces
// until the replace, so the peak is reached with some copy's temporary file.
uint64_t peakSpaceNeeded(const SpaceUse* uses, int count, uint64_t clusterBytes);

// A size in tenths of a megabyte (MiB), rounded up, for the space a patch
// needs, or down, for the space that is free, so that "needs" never looks
// smaller than what is refused, nor "free" larger than what is there.
uint64_t tenthsOfMegabyte(uint64_t bytes, bool roundUp);
