#pragma once
#include <stddef.h>
#include <stdint.h>

// VCDIFF (RFC 3284), the delta format both programs share: patchtool writes it, the updater and
// patchtool read it. Read: the default code table, windows whose source segment lies in the old
// file (VCD_SOURCE) or in the target already written (VCD_TARGET) or neither, xdelta3's
// application header and its Adler-32 checksum of each window (both passed over: what a delta
// gives is compared with the signed manifest's SHA-256 by every reader). Refused with an error of
// its own: a secondary compressor, an application-defined code table.

enum VcdiffError {
    VCDIFF_OK = 0,
    VCDIFF_NOT_VCDIFF,         // not the VCDIFF magic, or a header bit no version knows
    VCDIFF_COMPRESSED,         // a secondary compressor: written without xdelta3's -S none
    VCDIFF_CODE_TABLE,         // an application-defined code table
    VCDIFF_TRUNCATED,          // the delta ends inside a window
    VCDIFF_TOO_LARGE,          // a window beyond VCDIFF_MAX_WINDOW, or its sections beyond their room
    VCDIFF_DAMAGED,            // a size that lies, an instruction outside its window, sections left over
    VCDIFF_SOURCE_UNREADABLE,  // a copy from the old file that cannot be read
    VCDIFF_WRITE_FAILED,
};

// Memory is bounded by the window, whatever the files' sizes: one target window and its sections.
enum : uint32_t {
    VCDIFF_MAX_WINDOW = 1u << 23,                        // 8 MiB, xdelta3's own default
    VCDIFF_MAX_SECTIONS = 3 * VCDIFF_MAX_WINDOW + 4096,  // data, instructions and addresses of one window
};

// The decoder's streams. readDelta returns how many bytes it read (fewer only at the delta's end);
// readSource reads exactly length bytes of the old file at offset; readTarget the same of the target
// already written; writeTarget appends.
struct VcdiffStreams {
    void* context;
    size_t (*readDelta)(void* context, uint8_t* bytes, size_t length);
    bool (*readSource)(void* context, uint64_t offset, uint8_t* bytes, size_t length);
    bool (*readTarget)(void* context, uint64_t offset, uint8_t* bytes, size_t length);
    bool (*writeTarget)(void* context, const uint8_t* bytes, size_t length);
};

// window holds VCDIFF_MAX_WINDOW bytes, sections VCDIFF_MAX_SECTIONS.
VcdiffError decodeVcdiff(const VcdiffStreams* streams, uint8_t* window, uint8_t* sections);

// The default code table (RFC 3284, 5.6), entry by entry: each half an instruction, its size
// (0: the size follows in the instructions) and its address mode.
enum VcdiffInstruction : uint8_t { VCDIFF_NOOP, VCDIFF_ADD, VCDIFF_RUN, VCDIFF_COPY };
struct VcdiffCode {
    uint8_t type[2], size[2], mode[2];
};
void buildVcdiffCodeTable(VcdiffCode table[256]);

// The address cache both ends keep (RFC 3284, 5.1): 4 near and 3 x 256 same addresses.
enum { VCDIFF_NEAR = 4, VCDIFF_SAME = 3, VCDIFF_MODES = 2 + VCDIFF_NEAR + VCDIFF_SAME };
struct VcdiffAddressCache {
    uint64_t nearby[VCDIFF_NEAR];
    uint64_t same[VCDIFF_SAME * 256];
    int nextSlot;
};
void resetVcdiffCache(VcdiffAddressCache* cache);
void updateVcdiffCache(VcdiffAddressCache* cache, uint64_t address);

uint32_t vcdiffAdler32(uint32_t adler, const uint8_t* bytes, size_t length);
