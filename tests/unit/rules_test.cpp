// The number rule, path composition, the version verdict, the space rule and what an entry does, one table each.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "format/disk_space.h"
#include "format/entry_rule.h"
#include "format/version_gate.h"
#include "format/number_rule.h"
#include "format/path_text.h"
#include "format/stage_results.h"

TEST(NumberRule, Table)
{
    const std::pair<const char*, int32_t> rows[] = {
        {"1006", 1006}, {"  \t\n\v\f\r42", 42}, {"+7", 7}, {"-7", -7}, {"--7", 0}, {"- 7", 0}, {"12abc34", 12},
        {"abc", 0}, {"", 0}, {"2147483647", INT32_MAX}, {"2147483648", INT32_MIN}, {"-2147483648", INT32_MIN},
        {"4294967295", -1}, {"4294967296", 0}, {"-4294967297", -1}, {"99999999999999999999", 1661992959}};
    for (const auto& [text, value] : rows)
        EXPECT_EQ(readNumber(text), value) << '"' << text << '"';
}

std::wstring wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

// Each row on 8-bit and on wide text.
TEST(ComposePath, NeverCuts)
{
    const std::pair<std::string, bool> rows[] = {{"update.txt", true}, {std::string(256, 'n'), true}, {std::string(257, 'n'), false}};
    for (const auto& [name, fits] : rows) {
        char path[TEXT_CAPACITY] = "junk";
        wchar_t widePath[TEXT_CAPACITY] = L"junk";
        EXPECT_EQ(composePath(path, "C:", name.c_str()), fits) << name.size();
        EXPECT_EQ(path, fits ? "C:\\" + name : "");
        EXPECT_EQ(composePath(widePath, L"C:", wide(name).c_str()), fits) << name.size();
        EXPECT_EQ(widePath, fits ? L"C:\\" + wide(name) : L"");
    }
}

TEST(StaysInsideFolder, Table)
{
    const std::pair<const char*, bool> rows[] = {
        {"game.exe", true}, {"data\\maps\\level1.map", true}, {"a/b.txt", true}, {"..foo", true}, {"foo..", true},
        {"..", false}, {"..\\evil.dll", false}, {"data\\..\\..\\x", false}, {"data/../x", false}, {"a\\..", false},
        {"\\Windows\\x.dll", false}, {"/etc/x", false}, {"C:\\Windows\\x", false}, {"C:x", false},
        {"data\\. .\\x", false}, {"...\\x", false}};
    for (const auto& [path, inside] : rows) {
        EXPECT_EQ(staysInsideFolder(path), inside) << path;
        EXPECT_EQ(staysInsideFolder(wide(path).c_str()), inside) << path;
    }
    // Wide characters whose low byte is a separator (U+015C) or a colon (U+013A) are letters.
    const std::pair<const wchar_t*, bool> wideRows[] = {{L"..\u015cx", true}, {L"\u013a.dat", true}, {L"\u03c0\\..", false}};
    for (const auto& [path, inside] : wideRows)
        EXPECT_EQ(staysInsideFolder(path), inside) << static_cast<unsigned>(path[0]);
}

// Installed, patch, minimum, verdict: the worked examples, then the edges.
TEST(VersionVerdict, Table)
{
    const int32_t rows[][4] = {
        {1005, 1006, 1004, RESULT_OK}, {1004, 1006, 1004, RESULT_OK}, {1003, 1006, 1004, RESULT_TOO_OLD},
        {1006, 1006, 99999, RESULT_UP_TO_DATE}, {1007, 1006, 1004, RESULT_NEWER}, {1999, 2000, 0, RESULT_OK},
        {1005, 2003, 1004, RESULT_OK},
        // Builds are three digits, not two: across a hundred the minimum still bites.
        {1099, 1101, 1100, RESULT_TOO_OLD},
        // Builds are the last three digits only: a minimum across a thousand still bites.
        {2001, 3005, 1003, RESULT_TOO_OLD}, {1001, 1003, 5002, RESULT_TOO_OLD}, {1002, 1003, 5999, RESULT_OK},
        // The remainder keeps the version's sign: -1003 has build -3, not 997.
        {-1003, -1001, -1002, RESULT_TOO_OLD}, {-1003, -1001, -1004, RESULT_OK}, {-1, 1, 0, RESULT_TOO_OLD},
        {-1, 0, 0, RESULT_OK}, {0, -1, 0, RESULT_NEWER},
        // Signed comparisons at the ends of 32 bits, and no overflow in b(I) + 1.
        {INT32_MAX, INT32_MIN, 0, RESULT_NEWER}, {INT32_MIN, INT32_MAX, INT32_MAX, RESULT_TOO_OLD},
        {INT32_MIN, INT32_MAX, INT32_MIN, RESULT_OK}, {INT32_MAX - 1, INT32_MAX, INT32_MAX, RESULT_OK}};
    for (const auto& r : rows)
        EXPECT_EQ(versionVerdict(r[1], r[0], r[2]), r[3]) << "I=" << r[0] << " P=" << r[1] << " M=" << r[2];
}

// Entries staged in order, each as its new bytes and the earlier entry writing the same file
// (-1 for none); the cluster size; the peak the volume must hold.
TEST(PeakSpaceNeeded, Table)
{
    const uint64_t G = 1ull << 30;
    const struct {
        std::vector<SpaceUse> copies;
        uint64_t cluster, peak;
    } rows[] = {
        {{}, 4096, 0},
        {{{1000, -1}}, 1, 1000},
        {{{1000, -1}}, 4096, 4096},                      // a file takes whole clusters
        {{{0, -1}}, 4096, 0},
        {{{1000, -1}, {500, -1}}, 1, 1500},              // every file is staged before any old one goes
        {{{300, -1}, {300, -1}, {300, -1}}, 1, 900},
        {{{1, -1}, {1, -1}}, 4096, 8192},
        {{{700, -1}, {100, -1}, {700, 0}}, 1, 800},      // a file listed twice is staged once, in place of the first
        {{{700, -1}, {100, -1}, {50, 0}}, 1, 800},       // the peak came before the second staging
        {{{700, -1}, {0, 0}}, 1, 700},                   // a second entry that writes nothing frees nothing
        {{{UINT64_MAX, -1}, {G, -1}}, 4096, UINT64_MAX}, // sizes too large to add stay the largest, never wrap
        {{{UINT64_MAX - 1, -1}}, 4096, UINT64_MAX},
        {{{G, -1}, {G, -1}}, 0, 2 * G},                  // no cluster size known: bytes as they are
        {{{5 * G, -1}}, 4096, 5 * G},                    // sizes past 32 bits count whole
    };
    for (const auto& row : rows)
        EXPECT_EQ(peakSpaceNeeded(row.copies.data(), (int)row.copies.size(), row.cluster), row.peak)
            << "first copy " << (row.copies.empty() ? 0 : row.copies[0].newBytes);
}

// Bytes, rounded up or down, shown in tenths of a megabyte.
TEST(TenthsOfMegabyte, Table)
{
    const uint64_t M = 1 << 20;
    const struct {
        uint64_t bytes;
        bool up;
        uint64_t tenths;
    } rows[] = {{0, true, 0}, {1, true, 1}, {1, false, 0}, {M, true, 10}, {M, false, 10}, {M + 1, true, 11},
                {M + 1, false, 10}, {M * 16 / 10, true, 16}, {M * 16 / 10, false, 15}, {M / 10, false, 0},
                {UINT64_MAX, false, 175921860444159}, {UINT64_MAX, true, 175921860444160}};
    for (const auto& row : rows)
        EXPECT_EQ(tenthsOfMegabyte(row.bytes, row.up), row.tenths) << row.bytes << (row.up ? " up" : " down");
}

// What copying one entry does, from the facts each program gathers. A row: the facts that differ from an entry
// whose 100-byte file goes to a new place, and the verdict.
TEST(EntryRule, Table)
{
    const EntryFacts NEW_FILE = {true, true, 0, 0, false, false, false, false, 100};
    auto with = [&](auto change) { EntryFacts facts = NEW_FILE; change(facts); return facts; };
    const struct {
        const char* name;
        EntryFacts facts;
        EntryAction action;
        unsigned long error;
        uint64_t stagedBytes;
    } rows[] = {
        {"new", NEW_FILE, ENTRY_NEW, 0, 100},
        // A replaced file is staged beside the old one until the renames: its whole size is needed.
        {"replaced", with([](EntryFacts& f) { f.destinationExists = true; }), ENTRY_REPLACES, 0, 100},
        {"in place", with([](EntryFacts& f) { f.destinationExists = f.sameFile = true; }), ENTRY_IN_PLACE, 0, 0},
        {"read-only in place", with([](EntryFacts& f) { f.destinationExists = f.sameFile = f.destinationReadOnlyOrHidden = true; }), ENTRY_IN_PLACE, 0, 0},
        {"read-only or hidden", with([](EntryFacts& f) { f.destinationExists = f.destinationReadOnlyOrHidden = true; }), ENTRY_FAILS, 5, 0},
        {"a folder", with([](EntryFacts& f) { f.destinationExists = f.destinationIsFolder = true; }), ENTRY_FAILS, 5, 0},
        {"no folder", with([](EntryFacts& f) { f.folderError = 3; }), ENTRY_FAILS, 3, 0},
        {"no patch file", with([](EntryFacts& f) { f.sourceError = 2; f.folderError = 3; }), ENTRY_FAILS, 2, 0},
        {"leaves the folder", with([](EntryFacts& f) { f.staysInside = false; f.sourceError = 2; }), ENTRY_FAILS, 161, 0},
        {"too long", with([](EntryFacts& f) { f.pathFits = f.staysInside = false; }), ENTRY_FAILS, 206, 0},
    };
    for (const auto& row : rows) {
        EntryVerdict verdict = judgeEntry(row.facts);
        EXPECT_EQ(verdict.action, row.action) << row.name;
        EXPECT_EQ(verdict.error, row.error) << row.name;
        EXPECT_EQ(verdict.stagedBytes, row.stagedBytes) << row.name;
    }
}
