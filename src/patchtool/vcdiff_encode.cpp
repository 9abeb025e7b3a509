#include "vcdiff_encode.h"

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "format/vcdiff.h"

namespace {

// A match must be this long to be looked for; the hash covers as much.
const size_t KEY = 8;
// Candidates tried per position, in each of the two indexes.
const int DEPTH = 48;
// The old file is indexed at every position up to INDEXED of them, beyond at every n-th, the window
// at every one: a match as long as KEY and the step is found from some position in it, and then
// extended backwards. Hash tables stay small enough for the processor's caches where they can.
const size_t SOURCE_STEP = 1, INDEXED = size_t(1) << 26;
const int SOURCE_BITS = 26, WINDOW_BITS = 20;
// A window's source segment spans at most this much of the old file around the window, so that
// every address fits the 32 bits that xdelta3 reads.
const uint64_t SEGMENT = uint64_t(1) << 30;

uint32_t hashKey(const uint8_t* bytes, int bits)
{
    uint64_t word = 0;
    memcpy(&word, bytes, KEY);
    return (uint32_t)((word * 0x9E3779B97F4A7C15ull) >> (64 - bits));
}

void putInteger(std::string* out, uint64_t value)
{
    uint8_t digits[10];
    int count = 0;
    do {
        digits[count++] = (uint8_t)(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (count > 0) {
        uint8_t digit = digits[--count];
        out->push_back((char)(count > 0 ? digit | 0x80 : digit));
    }
}

// Positions by the hash of the KEY bytes that start there, each linked to the previous one of its
// hash: the newest first. Held as position / step, NONE for none: four bytes a position.
const uint32_t NONE = 0xFFFFFFFF;
struct Index {
    int bits = 0;
    size_t step = 1;
    std::vector<uint32_t> head;
    std::vector<uint32_t> previous;

    void build(size_t positions, size_t leastStep, int mostBits)
    {
        step = std::max<size_t>(leastStep, (positions + INDEXED - 1) / INDEXED);
        bits = 10;
        while ((size_t(1) << bits) < positions / step && bits < mostBits)
            bits++;
        head.assign(size_t(1) << bits, NONE);
        previous.assign(positions / step + 1, NONE);
    }
    // Adds every indexed position in [from, to) of bytes, whose keys end by its end; the table's
    // slot a few positions ahead is fetched early, since each lands anywhere in it.
    void addRange(const uint8_t* bytes, size_t from, size_t to, size_t end)
    {
        const size_t AHEAD = 16;
        to = std::min(to, end >= KEY ? end - KEY + 1 : 0);
        for (size_t position = (from + step - 1) / step * step; position < to; position += step) {
            if (position + AHEAD * step < to)
                __builtin_prefetch(&head[hashKey(bytes + position + AHEAD * step, bits)], 1);
            add(bytes, position);
        }
    }
    void add(const uint8_t* bytes, size_t position)
    {
        uint32_t slot = hashKey(bytes + position, bits);
        previous[position / step] = head[slot];
        head[slot] = (uint32_t)(position / step);
    }
    int64_t first(const uint8_t* key) const
    {
        uint32_t found = head[hashKey(key, bits)];
        return found == NONE ? -1 : (int64_t)(found * step);
    }
    int64_t next(int64_t position) const
    {
        uint32_t found = previous[(size_t)position / step];
        return found == NONE ? -1 : (int64_t)(found * step);
    }
};

struct Match {
    size_t length = 0;
    size_t back = 0;  // bytes before the position that the match covers too
    uint64_t address = 0;
};

struct Encoder {
    const uint8_t* source;
    size_t sourceSize;
    const uint8_t* target;
    size_t targetSize;
    Index sourceIndex;
    VcdiffCode table[256];
    int single[4][VCDIFF_MODES][256];  // opcode of one instruction by type, mode, size (0: size follows)
    int addThenCopy[5][7][VCDIFF_MODES];
    int copyThenAdd[VCDIFF_MODES];
};

void buildOpcodes(Encoder* encoder)
{
    buildVcdiffCodeTable(encoder->table);
    memset(encoder->single, -1, sizeof encoder->single);
    memset(encoder->addThenCopy, -1, sizeof encoder->addThenCopy);
    memset(encoder->copyThenAdd, -1, sizeof encoder->copyThenAdd);
    for (int opcode = 0; opcode < 256; opcode++) {
        const VcdiffCode& code = encoder->table[opcode];
        if (code.type[1] == VCDIFF_NOOP)
            encoder->single[code.type[0]][code.mode[0]][code.size[0]] = opcode;
        else if (code.type[0] == VCDIFF_ADD)
            encoder->addThenCopy[code.size[0]][code.size[1]][code.mode[1]] = opcode;
        else
            encoder->copyThenAdd[code.mode[0]] = opcode;
    }
}

// One window: its instructions and their sections as they are written.
struct WindowCode {
    uint64_t segmentLength;
    VcdiffAddressCache cache;
    std::string data, instructions, addresses;
    // The last instruction, held back in case the next one shares its opcode.
    int pendingType = VCDIFF_NOOP;
    uint64_t pendingSize = 0;
    int pendingMode = 0;
};

void flushPending(const Encoder& encoder, WindowCode* code)
{
    if (code->pendingType == VCDIFF_NOOP)
        return;
    uint64_t size = code->pendingSize;
    int inTable = size < 256 ? encoder.single[code->pendingType][code->pendingMode][size] : -1;
    if (inTable >= 0) {
        code->instructions.push_back((char)inTable);
    } else {
        code->instructions.push_back((char)encoder.single[code->pendingType][code->pendingMode][0]);
        putInteger(&code->instructions, size);
    }
    code->pendingType = VCDIFF_NOOP;
}

void emit(const Encoder& encoder, WindowCode* code, int type, uint64_t size, int mode)
{
    int pendingType = code->pendingType;
    uint64_t pendingSize = code->pendingSize;
    if (pendingType == VCDIFF_ADD && type == VCDIFF_COPY && pendingSize <= 4 && size <= 6 &&
        encoder.addThenCopy[pendingSize][size][mode] >= 0) {
        code->instructions.push_back((char)encoder.addThenCopy[pendingSize][size][mode]);
        code->pendingType = VCDIFF_NOOP;
        return;
    }
    if (pendingType == VCDIFF_COPY && pendingSize == 4 && type == VCDIFF_ADD && size == 1 &&
        code->pendingMode < VCDIFF_MODES) {
        code->instructions.push_back((char)encoder.copyThenAdd[code->pendingMode]);
        code->pendingType = VCDIFF_NOOP;
        return;
    }
    flushPending(encoder, code);
    code->pendingType = type;
    code->pendingSize = size;
    code->pendingMode = mode;
}

// The address in the mode that writes it in the fewest bytes, as the decoder's cache will know it.
int encodeAddress(WindowCode* code, uint64_t address, uint64_t here)
{
    VcdiffAddressCache& cache = code->cache;
    uint64_t slot = address % (VCDIFF_SAME * 256);
    int mode = 0;
    uint64_t value = address;
    if (cache.same[slot] == address) {
        mode = 2 + VCDIFF_NEAR + (int)(slot / 256);
    } else {
        if (here - address < value)
            mode = 1, value = here - address;
        for (int k = 0; k < VCDIFF_NEAR; k++)
            if (address >= cache.nearby[k] && address - cache.nearby[k] < value)
                mode = 2 + k, value = address - cache.nearby[k];
    }
    if (mode >= 2 + VCDIFF_NEAR)
        code->addresses.push_back((char)(slot % 256));
    else
        putInteger(&code->addresses, value);
    updateVcdiffCache(&cache, address);
    return mode;
}

size_t extendForward(const uint8_t* a, const uint8_t* b, size_t most)
{
    size_t length = 0;
    while (length < most && a[length] == b[length])
        length++;
    return length;
}

// The longest match for target[at...] within the window [start, end): in the source segment
// [low, high) or earlier in the window, reaching back over up to literal bytes not yet written.
// The old file's place where the last copy from it would go on (predicted) is tried first and
// wins a tie: a file changed in places is mostly the old one in order, and long copies in order
// cost fewer instructions than the same bytes gathered from everywhere.
Match findMatch(const Encoder& encoder, const Index& windowIndex, size_t start, size_t at, size_t end, uint64_t low,
                uint64_t high, size_t literal, uint64_t predicted)
{
    Match best;
    const uint8_t* here = encoder.target + at;
    auto consider = [&](const uint8_t* from, uint64_t address, size_t forwardRoom, size_t backRoom) {
        size_t length = extendForward(from, here, std::min(forwardRoom, end - at));
        if (length < KEY)
            return;
        size_t back = 0;
        while (back < backRoom && back < literal && from[-(ptrdiff_t)back - 1] == here[-(ptrdiff_t)back - 1])
            back++;
        if (length + back > best.length + best.back) {
            best.length = length;
            best.back = back;
            best.address = address - back;
        }
    };
    if (predicted >= low && predicted < high)
        consider(encoder.source + predicted, predicted - low, high - predicted, predicted - low);
    if (encoder.sourceSize >= KEY && at + KEY <= end) {
        const Index& index = encoder.sourceIndex;
        int64_t candidate = index.first(here);
        for (int tried = 0; candidate >= 0 && tried < DEPTH; tried++) {
            uint64_t position = (uint64_t)candidate;
            if (position >= low && position + KEY <= high)
                consider(encoder.source + position, position - low, high - position, position - low);
            candidate = index.next(candidate);
        }
    }
    if (at + KEY <= end) {
        // Positions in the window count from its start. A copy may overlap what it writes: it then
        // repeats a shorter piece.
        int64_t candidate = windowIndex.first(here);
        for (int tried = 0; candidate >= 0 && tried < DEPTH; tried++) {
            size_t offset = (size_t)candidate;
            consider(encoder.target + start + offset, (high - low) + offset, end - start - offset, offset);
            candidate = windowIndex.next(candidate);
        }
    }
    return best;
}

// A copy is worth its opcode and address only when it is longer than what it costs.
bool worthCopying(const Match& match)
{
    return match.length + match.back >= KEY;
}

size_t runLength(const uint8_t* bytes, size_t most)
{
    size_t length = 1;
    while (length < most && bytes[length] == bytes[0])
        length++;
    return length;
}

void encodeWindow(Encoder* encoder, Index& windowIndex, size_t start, size_t end, std::string* out)
{
    // The source segment: the whole old file, or a span of it around this window's place.
    uint64_t low = 0, high = encoder->sourceSize;
    if (high > SEGMENT) {
        uint64_t middle = std::min<uint64_t>(start, encoder->sourceSize);
        low = middle > SEGMENT / 2 ? middle - SEGMENT / 2 : 0;
        high = std::min<uint64_t>(low + SEGMENT, encoder->sourceSize);
    }
    WindowCode code;
    code.segmentLength = high - low;
    resetVcdiffCache(&code.cache);
    std::fill(windowIndex.head.begin(), windowIndex.head.end(), NONE);
    size_t literalStart = start;
    auto addLiteral = [&](size_t upTo) {
        if (upTo > literalStart) {
            code.data.append((const char*)encoder->target + literalStart, upTo - literalStart);
            emit(*encoder, &code, VCDIFF_ADD, upTo - literalStart, 0);
        }
        literalStart = upTo;
    };
    auto indexUpTo = [&](size_t from, size_t to) {
        windowIndex.addRange(encoder->target + start, from - start, to - start, end - start);
    };
    size_t indexed = start;
    uint64_t continuesAt = UINT64_MAX, copiedTo = start;  // where the last copy from the old file ended, there and here
    for (size_t at = start; at < end;) {
        // A long run is written as one at once: looking for matches inside it costs much, wins little.
        size_t run = runLength(encoder->target + at, end - at);
        uint64_t predicted = continuesAt + (at - copiedTo);
        Match match = run >= 64 ? Match() : findMatch(*encoder, windowIndex, start, at, end, low, high, at - literalStart, predicted);
        if (run >= 16 && run > match.length) {
            addLiteral(at);
            code.data.push_back((char)encoder->target[at]);
            emit(*encoder, &code, VCDIFF_RUN, run, 0);
            at += run;
            literalStart = at;
        } else if (worthCopying(match)) {
            // One position later may find a longer match: then this byte is a literal.
            if (at + 1 < end && match.length < 64) {
                indexUpTo(indexed, at + 1), indexed = std::max(indexed, at + 1);
                Match later = findMatch(*encoder, windowIndex, start, at + 1, end, low, high, at + 1 - literalStart, predicted + 1);
                if (later.length + later.back > match.length + match.back + 1) {
                    at++;
                    continue;
                }
            }
            addLiteral(at - match.back);
            uint64_t here = code.segmentLength + (at - match.back - start);
            int mode = encodeAddress(&code, match.address, here);
            emit(*encoder, &code, VCDIFF_COPY, match.length + match.back, mode);
            at += match.length;
            literalStart = at;
            if (match.address < code.segmentLength)
                continuesAt = low + match.address + match.back + match.length, copiedTo = at;
        } else {
            at++;
        }
        indexUpTo(indexed, at);
        indexed = std::max(indexed, at);
    }
    addLiteral(end);
    flushPending(*encoder, &code);

    std::string header;
    putInteger(&header, end - start);
    header.push_back(0);  // no secondary compression
    putInteger(&header, code.data.size());
    putInteger(&header, code.instructions.size());
    putInteger(&header, code.addresses.size());
    uint32_t adler = vcdiffAdler32(1, encoder->target + start, end - start);
    for (int shift = 24; shift >= 0; shift -= 8)
        header.push_back((char)(adler >> shift));
    bool hasSource = code.segmentLength > 0;
    out->push_back((char)((hasSource ? 0x01 : 0) | 0x04));  // VCD_SOURCE, VCD_ADLER32
    if (hasSource) {
        putInteger(out, code.segmentLength);
        putInteger(out, low);
    }
    putInteger(out, header.size() + code.data.size() + code.instructions.size() + code.addresses.size());
    *out += header + code.data + code.instructions + code.addresses;
}

}  // namespace

std::string encodeVcdiff(const std::string& source, const std::string& target)
{
    Encoder encoder;
    encoder.source = (const uint8_t*)source.data();
    encoder.sourceSize = source.size();
    encoder.target = (const uint8_t*)target.data();
    encoder.targetSize = target.size();
    buildOpcodes(&encoder);
    encoder.sourceIndex.build(source.size(), SOURCE_STEP, SOURCE_BITS);
    encoder.sourceIndex.addRange(encoder.source, 0, source.size(), source.size());
    Index windowIndex;
    windowIndex.build(std::min<size_t>(target.size(), VCDIFF_MAX_WINDOW), 1, WINDOW_BITS);
    std::string out("\xD6\xC3\xC4\x00\x00", 5);
    // An empty file is one empty window: xdelta3 reads a delta without windows as no output at all.
    size_t start = 0;
    do {
        encodeWindow(&encoder, windowIndex, start, std::min<size_t>(target.size(), start + VCDIFF_MAX_WINDOW), &out);
        start += VCDIFF_MAX_WINDOW;
    } while (start < target.size());
    return out;
}

namespace {

bool readPart(const std::string& from, uint64_t offset, uint8_t* bytes, size_t length)
{
    if (offset > from.size() || length > from.size() - offset)
        return false;
    memcpy(bytes, from.data() + offset, length);
    return true;
}

struct MemoryStreams {
    const std::string* source;
    const std::string* delta;
    size_t read = 0;
    std::string* target;
};

}  // namespace

bool decodeVcdiffText(const std::string& source, const std::string& delta, std::string* target, std::string* problem)
{
    MemoryStreams memory{&source, &delta, 0, target};
    VcdiffStreams streams;
    streams.context = &memory;
    streams.readDelta = [](void* context, uint8_t* bytes, size_t length) {
        MemoryStreams* m = static_cast<MemoryStreams*>(context);
        size_t got = std::min(length, m->delta->size() - m->read);
        memcpy(bytes, m->delta->data() + m->read, got);
        m->read += got;
        return got;
    };
    streams.readSource = [](void* context, uint64_t offset, uint8_t* bytes, size_t length) {
        return readPart(*static_cast<MemoryStreams*>(context)->source, offset, bytes, length);
    };
    streams.readTarget = [](void* context, uint64_t offset, uint8_t* bytes, size_t length) {
        return readPart(*static_cast<MemoryStreams*>(context)->target, offset, bytes, length);
    };
    streams.writeTarget = [](void* context, const uint8_t* bytes, size_t length) {
        static_cast<MemoryStreams*>(context)->target->append((const char*)bytes, length);
        return true;
    };
    target->clear();
    // Allocated once: patchtool decodes many deltas, one at a time.
    static std::unique_ptr<uint8_t[]> window(new uint8_t[VCDIFF_MAX_WINDOW]), sections(new uint8_t[VCDIFF_MAX_SECTIONS]);
    VcdiffError error = decodeVcdiff(&streams, window.get(), sections.get());
    *problem = vcdiffErrorText(error);
    return error == VCDIFF_OK;
}

const char* vcdiffErrorText(VcdiffError error)
{
    switch (error) {
    case VCDIFF_OK:
        return "decoded";
    case VCDIFF_NOT_VCDIFF:
        return "is not a VCDIFF delta";
    case VCDIFF_COMPRESSED:
        return "uses a secondary compressor (write it with xdelta3 -S none)";
    case VCDIFF_CODE_TABLE:
        return "uses a code table of its own";
    case VCDIFF_TRUNCATED:
        return "ends inside a window";
    case VCDIFF_TOO_LARGE:
        return "has a window larger than 8 MiB";
    case VCDIFF_DAMAGED:
        return "is damaged";
    case VCDIFF_SOURCE_UNREADABLE:
        return "copies from beyond the old file";
    case VCDIFF_WRITE_FAILED:
        return "could not be written out";
    }
    return "is damaged";
}
