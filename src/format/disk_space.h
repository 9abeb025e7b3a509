#pragma once
#include <stdint.h>

// What staging one entry does to its volume: the patch file it adds (0 when
// nothing will be written), and the index of an earlier entry that writes the
// same file, whose staged copy it replaces (-1 for none).
struct SpaceUse {
    uint64_t newBytes;
    int sameFileAs;
};

// The most space the staged files hold at once, each rounded up to whole
// clusters. Every file is staged beside the one it replaces before any
// replace, so the installed files free nothing until the staging is done.
uint64_t peakSpaceNeeded(const SpaceUse* uses, int count, uint64_t clusterBytes);

// A size in tenths of a megabyte (MiB), rounded up, for the space a patch
// needs, or down, for the space that is free, so that "needs" never looks
// smaller than what is refused, nor "free" larger than what is there.
uint64_t tenthsOfMegabyte(uint64_t bytes, bool roundUp);
