// VCDIFF: deltas written by hand from RFC 3284's instructions, damaged ones, patchtool's encoder
// over many pairs of files, and both ends against Debian's xdelta3.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "format/vcdiff.h"
#include "patchtool/vcdiff_encode.h"

namespace fs = std::filesystem;

namespace {

std::string integer(uint64_t value)
{
    std::string digits(1, (char)(value & 0x7F));
    while (value >>= 7)
        digits.insert(digits.begin(), (char)(0x80 | (value & 0x7F)));
    return digits;
}

// Bytes as written, zeros included.
#define RAW(text) std::string(text, sizeof(text) - 1)

const std::string HEADER = RAW("\xD6\xC3\xC4\x00\x00");

// One window as RFC 3284 lays it out, its lengths counted here: indicator 1 for a source segment
// in the old file, 2 in the target already written, +4 for xdelta3's checksum (given in adler).
std::string window(int indicator, uint64_t segmentLength, uint64_t segmentPosition, uint64_t targetLength,
                   const std::string& data, const std::string& instructions, const std::string& addresses,
                   uint32_t adler = 0)
{
    std::string encoding = integer(targetLength) + '\0' + integer(data.size()) + integer(instructions.size()) +
                           integer(addresses.size());
    if (indicator & 4)
        for (int shift = 24; shift >= 0; shift -= 8)
            encoding += (char)(adler >> shift);
    encoding += data + instructions + addresses;
    std::string out(1, (char)indicator);
    if (indicator & 3)
        out += integer(segmentLength) + integer(segmentPosition);
    return out + integer(encoding.size()) + encoding;
}

std::string bytes(std::initializer_list<int> values)
{
    std::string out;
    for (int value : values)
        out += (char)value;
    return out;
}

std::string decode(const std::string& source, const std::string& delta)
{
    std::string target, problem;
    return decodeVcdiffText(source, delta, &target, &problem) ? target : "error: " + problem;
}

const std::string RFC_SOURCE = "abcdefghijklmnop";
// RFC 3284's example: COPY 4 from 0, ADD "wxyz", COPY 4 from 4, COPY 12 from 24 (its own output,
// overlapping), RUN 4 "z"; opcodes 20 (COPY 4, mode 0), 5 (ADD 4), 28 (COPY 12, mode 0), 0 (RUN).
const std::string RFC_WINDOW = window(1, 16, 0, 28, "wxyzz", bytes({20, 5, 20, 28, 0, 4}), bytes({0, 4, 24}));

TEST(Vcdiff, HandWrittenDeltas)
{
    const struct {
        const char* name;
        std::string source, delta, target;
    } rows[] = {
        {"rfc example", RFC_SOURCE, HEADER + RFC_WINDOW, "abcdwxyzefghefghefghefghzzzz"},
        {"no windows", "", HEADER, ""},
        {"add only, no source", "", HEADER + window(0, 0, 0, 3, "abc", bytes({4}), ""), "abc"},
        {"add with its size after the opcode", "", HEADER + window(0, 0, 0, 20, std::string(20, 'q'), bytes({1, 20}), ""), std::string(20, 'q')},
        {"run", "", HEADER + window(0, 0, 0, 300, "r", bytes({0, 0x82, 0x2C}), ""), std::string(300, 'r')},
        // HERE (mode 1): here is 16 + 0, 16 back is address 0.
        {"copy here", RFC_SOURCE, HEADER + window(1, 16, 0, 4, "", bytes({19 + 16 + 1}), bytes({16})), "abcd"},
        // near (mode 2): the first copy at 2 fills slot 0; the second is slot 0 plus 4.
        {"copy near", RFC_SOURCE, HEADER + window(1, 16, 0, 8, "", bytes({20, 19 + 32 + 1}), bytes({2, 4})), "cdefghij"},
        // near slot 1 (mode 3): the cache's slots are filled in turn, 1 then 9; slot 1 plus 2 is 11.
        {"copy near, second slot", RFC_SOURCE, HEADER + window(1, 16, 0, 12, "", bytes({20, 20, 19 + 48 + 1}), bytes({1, 9, 2})), "bcdejklmlmno"},
        // same (mode 7): address 300 is held at 300 of 768, the second 256 (mode 7), byte 44.
        {"copy same, second block", std::string(300, '.') + "abcd" + std::string(300, '.'),
         HEADER + window(1, 604, 0, 8, "", bytes({20, 19 + 112 + 1}), integer(300) + bytes({44})), "abcdabcd"},
        // same (mode 6): address 5 is held at 5 of the first 256; its byte names it.
        {"copy same", RFC_SOURCE, HEADER + window(1, 16, 0, 8, "", bytes({20, 19 + 96 + 1}), bytes({5, 5})), "fghifghi"},
        // the segment's place in the old file counts: 10 bytes from 6.
        {"segment position", RFC_SOURCE, HEADER + window(1, 10, 6, 4, "", bytes({20}), bytes({6})), "mnop"},
        // ADD 2 + COPY 5 (opcode 163 + 4 + 1) and COPY 4 + ADD 1 (opcode 247).
        {"paired opcodes", RFC_SOURCE, HEADER + window(1, 16, 0, 12, "xyz", bytes({167, 247}), bytes({0, 8})), "xyabcdeijklz"},
        // a second window whose segment is the first window's output (VCD_TARGET)
        {"target window", "", HEADER + window(0, 0, 0, 4, "wxyz", bytes({5}), "") + window(2, 4, 0, 8, "", bytes({20, 20}), bytes({0, 0})), "wxyzwxyzwxyz"},
        {"checksum", "", HEADER + window(4, 0, 0, 3, "abc", bytes({4}), "", vcdiffAdler32(1, (const uint8_t*)"abc", 3)), "abc"},
        // xdelta3's application header (its file names) is passed over
        {"application header", "", RAW("\xD6\xC3\xC4\x00\x04\x03old") + window(0, 0, 0, 1, "a", bytes({2}), ""), "a"},
        {"not vcdiff", "", RAW("\xD6\xC3\xC5\x00\x00"), "error: is not a VCDIFF delta"},
        {"empty", "", "", "error: is not a VCDIFF delta"},
        {"secondary compressor", "", RAW("\xD6\xC3\xC4\x00\x01\x02"), "error: uses a secondary compressor (write it with xdelta3 -S none)"},
        {"compressed sections", "", HEADER + RAW("\x00\x07\x03\x01\x01\x01\x00" "a\x02"), "error: uses a secondary compressor (write it with xdelta3 -S none)"},
        {"code table", "", RAW("\xD6\xC3\xC4\x00\x02"), "error: uses a code table of its own"},
        {"unknown header bit", "", RAW("\xD6\xC3\xC4\x00\x08"), "error: is not a VCDIFF delta"},
        {"source and target at once", RFC_SOURCE, HEADER + window(3, 16, 0, 4, "", bytes({20}), bytes({0})), "error: is damaged"},
        // xdelta3's checksum is passed over: the result's SHA-256 is what counts.
        {"any checksum", "", HEADER + window(4, 0, 0, 3, "abc", bytes({4}), "", 12345), "abc"},
        {"copy from here on", RFC_SOURCE, HEADER + window(1, 16, 0, 4, "", bytes({20}), bytes({16})), "error: is damaged"},
        {"copy beyond the window", RFC_SOURCE, HEADER + window(1, 16, 0, 4, "", bytes({21}), bytes({0})), "error: is damaged"},
        {"copy from beyond the old file", RFC_SOURCE, HEADER + window(1, 16, 10, 4, "", bytes({20}), bytes({12})), "error: copies from beyond the old file"},
        {"here further back than the start", RFC_SOURCE, HEADER + window(1, 16, 0, 4, "", bytes({19 + 16 + 1}), bytes({17})), "error: is damaged"},
        {"target segment not yet written", "", HEADER + window(2, 4, 0, 4, "", bytes({20}), bytes({0})), "error: is damaged"},
        {"add beyond its data", "", HEADER + window(0, 0, 0, 3, "ab", bytes({4}), ""), "error: is damaged"},
        {"data left over", "", HEADER + window(0, 0, 0, 3, "abcd", bytes({4}), ""), "error: is damaged"},
        {"addresses left over", RFC_SOURCE, HEADER + window(1, 16, 0, 4, "", bytes({20}), bytes({0, 0})), "error: is damaged"},
        {"window shorter than its instructions", "", HEADER + window(0, 0, 0, 2, "abc", bytes({4}), ""), "error: is damaged"},
        {"window longer than its instructions", "", HEADER + window(0, 0, 0, 4, "abc", bytes({4}), ""), "error: is damaged"},
        {"window over 8 MiB", "", HEADER + window(0, 0, 0, VCDIFF_MAX_WINDOW + 1, "", "", ""), "error: has a window larger than 8 MiB"},
        {"size that lies", "", HEADER + RAW("\x00\x0A\x03\x00\x03\x01\x00" "abc\x04"), "error: is damaged"},
        {"sections beyond their room", "", HEADER + RAW("\x00\x0C\x01\x00\xFF\xFF\xFF\x7F\x01\x00"), "error: has a window larger than 8 MiB"},
        {"integer of eleven digits", "", HEADER + RAW("\x00") + std::string(10, '\x80') + "\x01", "error: is damaged"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(decode(row.source, row.delta), row.target) << row.name;
}

// Every prefix of a delta is refused, or is a delta of whole windows and gives their bytes.
TEST(Vcdiff, EveryTruncationIsRefusedOrWhole)
{
    std::string delta = HEADER + RFC_WINDOW + window(2, 28, 0, 8, "", bytes({20, 20}), bytes({4, 4}));
    ASSERT_EQ(decode(RFC_SOURCE, delta), "abcdwxyzefghefghefghefghzzzzwxyzwxyz");
    for (size_t length = 0; length < delta.size(); length++) {
        std::string got = decode(RFC_SOURCE, delta.substr(0, length));
        bool whole = length == HEADER.size() || length == HEADER.size() + RFC_WINDOW.size();
        if (whole)
            EXPECT_EQ(got, length == HEADER.size() ? "" : "abcdwxyzefghefghefghefghzzzz") << length;
        else
            EXPECT_EQ(got.rfind("error: ", 0), 0u) << length << " bytes decoded as " << got;
    }
}

std::string noise(size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string out(size + 3, '\0');
    for (size_t at = 0; at < size; at += 4) {
        uint32_t word = random();
        memcpy(&out[at], &word, 4);
    }
    out.resize(size);
    return out;
}

// A few hundred bytes changed, inserted and removed here and there, as a new build changes a file.
std::string edited(std::string text, int edits, unsigned seed)
{
    std::mt19937 random(seed);
    for (int i = 0; i < edits && !text.empty(); i++) {
        size_t at = random() % text.size();
        text.replace(at, std::min<size_t>(random() % 40, text.size() - at), noise(random() % 60, seed + i));
    }
    return text;
}

// patchtool's deltas: what they give back, and that they pay where the files share most.
TEST(Vcdiff, EncodedRoundTrip)
{
    const std::string old = noise(200000, 1);
    const struct {
        const char* name;
        std::string source, target;
        size_t mostBytes;
    } rows[] = {
        {"both empty", "", "", 20},
        {"new from nothing", "", "abc", 20},
        {"emptied", "abc", "", 20},
        {"unchanged", old, old, 40},
        {"edited", old, edited(old, 20, 2), 3000},
        {"all new", old, noise(50000, 3), 50100},
        {"repeats itself", "", std::string(100000, 'x') + "y" + noise(3000, 4) + noise(3000, 4), 3200},
        {"moved around", old, old.substr(100000) + old.substr(0, 100000), 60},
        {"window and a byte", "", noise(VCDIFF_MAX_WINDOW + 1, 5), VCDIFF_MAX_WINDOW + 100},
        {"two windows edited", noise(VCDIFF_MAX_WINDOW + 5000, 6), edited(noise(VCDIFF_MAX_WINDOW + 5000, 6), 10, 7), 2000},
    };
    for (const auto& row : rows) {
        std::string delta = encodeVcdiff(row.source, row.target);
        EXPECT_EQ(decode(row.source, delta), row.target) << row.name;
        EXPECT_LE(delta.size(), row.mostBytes) << row.name;
    }
}

// Debian's xdelta3 as the other end: every opcode of the default table, and files of many sizes
// both ways.
class WithXdelta3 : public testing::Test {
protected:
    fs::path folder = fs::temp_directory_path() / ("vcdiff-test-" + std::to_string(getpid()));
    void SetUp() override { fs::create_directories(folder); }
    void TearDown() override { fs::remove_all(folder); }
    void write(const std::string& name, const std::string& text) { std::ofstream(folder / name, std::ios::binary) << text; }
    std::string read(const std::string& name)
    {
        std::ifstream in(folder / name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // xdelta3's own decoding of delta from source; "error" when it refuses.
    std::string theirDecoding(const std::string& source, const std::string& delta)
    {
        write("source", source);
        write("delta", delta);
        std::string command = "xdelta3 -d -f -s '" + (folder / "source").string() + "' '" + (folder / "delta").string() + "' '" +
                              (folder / "target").string() + "' 2>/dev/null";
        return std::system(command.c_str()) == 0 ? read("target") : "error";
    }
    std::string theirDelta(const std::string& source, const std::string& target, const std::string& options)
    {
        write("source", source);
        write("target", target);
        std::string command = "xdelta3 -e -f " + options + " -s '" + (folder / "source").string() + "' '" +
                              (folder / "target").string() + "' '" + (folder / "delta").string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return read("delta");
    }
};

// Each opcode alone in a window over a 64-byte segment: sizes that follow are 5, every address
// names 0 (mode 0 by itself; HERE by the distance; near and same from the empty cache).
TEST_F(WithXdelta3, EveryOpcodeDecodesAsXdelta3DoesIt)
{
    std::string segment = noise(64, 8);
    VcdiffCode table[256];
    buildVcdiffCodeTable(table);
    for (int opcode = 0; opcode < 256; opcode++) {
        std::string data, sizes, addresses;
        uint64_t length = 0;
        for (int half = 0; half < 2; half++) {
            int type = table[opcode].type[half], size = table[opcode].size[half] ? table[opcode].size[half] : 5;
            if (type == VCDIFF_NOOP)
                continue;
            if (table[opcode].size[half] == 0)
                sizes += integer(size);
            if (type == VCDIFF_ADD)
                data += noise(size, opcode + half);
            else if (type == VCDIFF_RUN)
                data += '*';
            else
                addresses += table[opcode].mode[half] == 1 ? integer(64 + length)
                             : table[opcode].mode[half] >= 6 ? std::string(1, '\0') : integer(0);
            length += size;
        }
        std::string delta = HEADER + window(1, 64, 0, length, data, std::string(1, (char)opcode) + sizes, addresses);
        std::string ours = decode(segment, delta);
        EXPECT_EQ(ours, theirDecoding(segment, delta)) << "opcode " << opcode;
        EXPECT_EQ(ours.size(), length) << "opcode " << opcode << ": " << ours;
    }
}

TEST_F(WithXdelta3, FilesOfEverySizeBothWays)
{
    const size_t window = VCDIFF_MAX_WINDOW, big = size_t(100) << 20;
    const struct {
        const char* name;
        std::string source, target;
    } rows[] = {
        {"0 bytes", "", ""},
        {"1 byte", "a", "b"},
        {"a window", noise(window, 9), edited(noise(window, 9), 30, 10)},
        {"100 MiB", noise(big, 11), edited(noise(big, 11), 200, 12)},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(theirDecoding(row.source, encodeVcdiff(row.source, row.target)), row.target) << row.name << ": patchtool's";
        for (const char* options : {"-S none", "-9 -S none"})
            EXPECT_EQ(decode(row.source, theirDelta(row.source, row.target, options)), row.target) << row.name << ": xdelta3 " << options;
    }
}

}  // namespace
