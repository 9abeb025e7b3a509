#include "vcdiff.h"

#include <string.h>

namespace {

enum : uint8_t {
    VCD_DECOMPRESS = 0x01,  // header: a secondary compressor's id follows
    VCD_CODETABLE = 0x02,   // header: an application-defined code table follows
    VCD_APPHEADER = 0x04,   // header: xdelta3's application data follows (file names)
    VCD_SOURCE = 0x01,      // window: its source segment lies in the old file
    VCD_TARGET = 0x02,      // window: its source segment lies in the target already written
    VCD_ADLER32 = 0x04,     // window: xdelta3's checksum of the target window follows
};

const uint8_t MAGIC[4] = {0xD6, 0xC3, 0xC4, 0x00};

struct Decoder {
    const VcdiffStreams* streams;
    uint8_t* window;
    uint8_t* sections;
    uint64_t written;  // target bytes written before this window
    VcdiffCode table[256];
};

// A piece of the delta's sections, read front to back.
struct Section {
    const uint8_t* at;
    const uint8_t* end;
};

bool readByte(const Decoder& decoder, uint8_t* byte)
{
    return decoder.streams->readDelta(decoder.streams->context, byte, 1) == 1;
}

// An integer of 7-bit digits, most significant first, the high bit set on all but the last: from
// a section, or from the delta itself (section null), counting the bytes read.
VcdiffError readInteger(const Decoder& decoder, Section* section, uint64_t* value, uint64_t* counted = nullptr)
{
    *value = 0;
    for (int digits = 0; digits < 10; digits++) {
        uint8_t byte;
        if (section ? section->at == section->end : !readByte(decoder, &byte))
            return section ? VCDIFF_DAMAGED : VCDIFF_TRUNCATED;
        if (section)
            byte = *section->at++;
        else
            ++*counted;
        if (*value >> 57)
            return VCDIFF_DAMAGED;
        *value = *value << 7 | (byte & 0x7F);
        if (!(byte & 0x80))
            return VCDIFF_OK;
    }
    return VCDIFF_DAMAGED;
}

VcdiffError readDeltaInteger(const Decoder& decoder, uint64_t* value, uint64_t* counted)
{
    return readInteger(decoder, nullptr, value, counted);
}

VcdiffError skipDelta(const Decoder& decoder, uint64_t length)
{
    for (; length > 0; length--) {
        uint8_t byte;
        if (!readByte(decoder, &byte))
            return VCDIFF_TRUNCATED;
    }
    return VCDIFF_OK;
}

VcdiffError readHeader(const Decoder& decoder)
{
    uint8_t magic[4], indicator;
    if (decoder.streams->readDelta(decoder.streams->context, magic, 4) != 4 || memcmp(magic, MAGIC, 4) != 0 ||
        !readByte(decoder, &indicator))
        return VCDIFF_NOT_VCDIFF;
    if (indicator & VCD_DECOMPRESS)
        return VCDIFF_COMPRESSED;
    if (indicator & VCD_CODETABLE)
        return VCDIFF_CODE_TABLE;
    if (indicator & ~(VCD_DECOMPRESS | VCD_CODETABLE | VCD_APPHEADER))
        return VCDIFF_NOT_VCDIFF;
    if (!(indicator & VCD_APPHEADER))
        return VCDIFF_OK;
    uint64_t length, counted = 0;
    VcdiffError error = readDeltaInteger(decoder, &length, &counted);
    return error != VCDIFF_OK ? error : skipDelta(decoder, length);
}

// The window's source segment, then the target window's own bytes, as one address space.
struct Window {
    uint8_t indicator;
    uint64_t segmentLength, segmentPosition;
    uint64_t targetLength, filled;
    Section data, instructions, addresses;
    VcdiffAddressCache cache;
};

VcdiffError decodeAddress(const Decoder& decoder, Window* window, int mode, uint64_t* address)
{
    uint64_t here = window->segmentLength + window->filled, value;
    if (mode >= 2 + VCDIFF_NEAR) {
        if (window->addresses.at == window->addresses.end)
            return VCDIFF_DAMAGED;
        *address = window->cache.same[(mode - 2 - VCDIFF_NEAR) * 256 + *window->addresses.at++];
    } else {
        if (readInteger(decoder, &window->addresses, &value) != VCDIFF_OK)
            return VCDIFF_DAMAGED;
        *address = mode == 0 ? value : mode == 1 ? here - value : window->cache.nearby[mode - 2] + value;
        if (mode == 1 && value > here)
            return VCDIFF_DAMAGED;
    }
    if (*address >= here)
        return VCDIFF_DAMAGED;
    updateVcdiffCache(&window->cache, *address);
    return VCDIFF_OK;
}

// A copy from the source segment, then on into the target window, byte by byte where it
// overlaps what it writes (a copy repeats what it has just written).
VcdiffError copy(const Decoder& decoder, Window* window, uint64_t address, uint64_t size)
{
    uint8_t* to = decoder.window + window->filled;
    if (address < window->segmentLength) {
        uint64_t fromSegment = size < window->segmentLength - address ? size : window->segmentLength - address;
        uint64_t offset = window->segmentPosition + address;
        bool read = window->indicator & VCD_SOURCE
                        ? decoder.streams->readSource(decoder.streams->context, offset, to, fromSegment)
                        : decoder.streams->readTarget(decoder.streams->context, offset, to, fromSegment);
        if (!read)
            return VCDIFF_SOURCE_UNREADABLE;
        to += fromSegment;
        size -= fromSegment;
        address += fromSegment;
    }
    if (size == 0)
        return VCDIFF_OK;
    for (const uint8_t* from = decoder.window + (address - window->segmentLength); size > 0; size--)
        *to++ = *from++;
    return VCDIFF_OK;
}

VcdiffError execute(const Decoder& decoder, Window* window, int type, uint64_t size, int mode)
{
    if (size == 0 && readInteger(decoder, &window->instructions, &size) != VCDIFF_OK)
        return VCDIFF_DAMAGED;
    if (size > window->targetLength - window->filled)
        return VCDIFF_DAMAGED;
    uint8_t* to = decoder.window + window->filled;
    Section& data = window->data;
    VcdiffError error = VCDIFF_OK;
    if (type == VCDIFF_ADD) {
        if (size > (uint64_t)(data.end - data.at))
            return VCDIFF_DAMAGED;
        memcpy(to, data.at, size);
        data.at += size;
    } else if (type == VCDIFF_RUN) {
        if (data.at == data.end)
            return VCDIFF_DAMAGED;
        memset(to, *data.at++, size);
    } else {
        uint64_t address;
        error = decodeAddress(decoder, window, mode, &address);
        if (error == VCDIFF_OK)
            error = copy(decoder, window, address, size);
    }
    window->filled += size;
    return error;
}

VcdiffError decodeInstructions(const Decoder& decoder, Window* window)
{
    resetVcdiffCache(&window->cache);
    while (window->instructions.at < window->instructions.end) {
        const VcdiffCode& code = decoder.table[*window->instructions.at++];
        for (int half = 0; half < 2; half++) {
            if (code.type[half] == VCDIFF_NOOP)
                continue;
            VcdiffError error = execute(decoder, window, code.type[half], code.size[half], code.mode[half]);
            if (error != VCDIFF_OK)
                return error;
        }
    }
    bool consumed = window->filled == window->targetLength && window->data.at == window->data.end &&
                    window->addresses.at == window->addresses.end;
    return consumed ? VCDIFF_OK : VCDIFF_DAMAGED;
}

// One window, its first byte (the indicator) read; false at the delta's clean end.
VcdiffError decodeWindow(Decoder* decoder, uint8_t indicator)
{
    Window window = {};
    window.indicator = indicator;
    uint64_t encodingLength, counted = 0, lengths[3];
    VcdiffError error = VCDIFF_OK;
    if (indicator & ~(VCD_SOURCE | VCD_TARGET | VCD_ADLER32) || (indicator & VCD_SOURCE && indicator & VCD_TARGET))
        return VCDIFF_DAMAGED;
    if (indicator & (VCD_SOURCE | VCD_TARGET)) {
        if ((error = readDeltaInteger(*decoder, &window.segmentLength, &counted)) != VCDIFF_OK ||
            (error = readDeltaInteger(*decoder, &window.segmentPosition, &counted)) != VCDIFF_OK)
            return error;
        uint64_t end = window.segmentPosition + window.segmentLength;
        if (end < window.segmentPosition || (indicator & VCD_TARGET && end > decoder->written))
            return VCDIFF_DAMAGED;
    }
    if ((error = readDeltaInteger(*decoder, &encodingLength, &counted)) != VCDIFF_OK)
        return error;
    counted = 0;
    if ((error = readDeltaInteger(*decoder, &window.targetLength, &counted)) != VCDIFF_OK)
        return error;
    if (window.targetLength > VCDIFF_MAX_WINDOW)
        return VCDIFF_TOO_LARGE;
    uint8_t deltaIndicator;
    counted++;
    if (!readByte(*decoder, &deltaIndicator))
        return VCDIFF_TRUNCATED;
    if (deltaIndicator != 0)
        return VCDIFF_COMPRESSED;
    for (uint64_t& length : lengths)
        if ((error = readDeltaInteger(*decoder, &length, &counted)) != VCDIFF_OK)
            return error;
    // xdelta3's checksum is read past: every reader of a delta compares what it gives with the
    // signed manifest's SHA-256, which the checksum could only repeat.
    uint8_t checksum[4];
    if (indicator & VCD_ADLER32) {
        counted += 4;
        if (decoder->streams->readDelta(decoder->streams->context, checksum, 4) != 4)
            return VCDIFF_TRUNCATED;
    }
    if (lengths[0] > VCDIFF_MAX_SECTIONS || lengths[1] > VCDIFF_MAX_SECTIONS || lengths[2] > VCDIFF_MAX_SECTIONS ||
        lengths[0] + lengths[1] + lengths[2] > VCDIFF_MAX_SECTIONS)
        return VCDIFF_TOO_LARGE;
    uint64_t sectionsLength = lengths[0] + lengths[1] + lengths[2];
    if (encodingLength != counted + sectionsLength)
        return VCDIFF_DAMAGED;
    if (decoder->streams->readDelta(decoder->streams->context, decoder->sections, sectionsLength) != sectionsLength)
        return VCDIFF_TRUNCATED;
    window.data = {decoder->sections, decoder->sections + lengths[0]};
    window.instructions = {window.data.end, window.data.end + lengths[1]};
    window.addresses = {window.instructions.end, window.instructions.end + lengths[2]};
    if ((error = decodeInstructions(*decoder, &window)) != VCDIFF_OK)
        return error;
    if (!decoder->streams->writeTarget(decoder->streams->context, decoder->window, window.targetLength))
        return VCDIFF_WRITE_FAILED;
    decoder->written += window.targetLength;
    return VCDIFF_OK;
}

}  // namespace

void buildVcdiffCodeTable(VcdiffCode table[256])
{
    memset(table, 0, 256 * sizeof table[0]);
    VcdiffCode* code = table;
    (code++)->type[0] = VCDIFF_RUN;
    for (int size = 0; size <= 17; size++, code++) {
        code->type[0] = VCDIFF_ADD;
        code->size[0] = (uint8_t)size;
    }
    for (int mode = 0; mode < VCDIFF_MODES; mode++)
        for (int size = 0; size <= 18; size = size ? size + 1 : 4, code++) {
            code->type[0] = VCDIFF_COPY;
            code->size[0] = (uint8_t)size;
            code->mode[0] = (uint8_t)mode;
        }
    for (int mode = 0; mode < VCDIFF_MODES; mode++)
        for (int add = 1; add <= 4; add++)
            for (int size = 4; size <= (mode < 6 ? 6 : 4); size++, code++) {
                code->type[0] = VCDIFF_ADD;
                code->size[0] = (uint8_t)add;
                code->type[1] = VCDIFF_COPY;
                code->size[1] = (uint8_t)size;
                code->mode[1] = (uint8_t)mode;
            }
    for (int mode = 0; mode < VCDIFF_MODES; mode++, code++) {
        code->type[0] = VCDIFF_COPY;
        code->size[0] = 4;
        code->mode[0] = (uint8_t)mode;
        code->type[1] = VCDIFF_ADD;
        code->size[1] = 1;
    }
}

void resetVcdiffCache(VcdiffAddressCache* cache)
{
    memset(cache, 0, sizeof *cache);
}

void updateVcdiffCache(VcdiffAddressCache* cache, uint64_t address)
{
    cache->nearby[cache->nextSlot] = address;
    cache->nextSlot = (cache->nextSlot + 1) % VCDIFF_NEAR;
    cache->same[address % (VCDIFF_SAME * 256)] = address;
}

uint32_t vcdiffAdler32(uint32_t adler, const uint8_t* bytes, size_t length)
{
    uint32_t low = adler & 0xFFFF, high = adler >> 16;
    while (length > 0) {
        size_t piece = length < 5552 ? length : 5552;  // the most that cannot overflow before the modulo
        length -= piece;
        for (; piece > 0; piece--) {
            low += *bytes++;
            high += low;
        }
        low %= 65521;
        high %= 65521;
    }
    return high << 16 | low;
}

VcdiffError decodeVcdiff(const VcdiffStreams* streams, uint8_t* window, uint8_t* sections)
{
    Decoder decoder;
    decoder.streams = streams;
    decoder.window = window;
    decoder.sections = sections;
    decoder.written = 0;
    buildVcdiffCodeTable(decoder.table);
    VcdiffError error = readHeader(decoder);
    for (uint8_t indicator; error == VCDIFF_OK && readByte(decoder, &indicator);)
        error = decodeWindow(&decoder, indicator);
    return error;
}
