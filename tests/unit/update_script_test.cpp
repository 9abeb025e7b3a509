#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include "run/update_script.h"

namespace {

const std::string HEADER = "Software\\Example\\Product\n1006\n1004\n1\n";

UpdateScript parse(const std::string& text, ScriptParseResult expected = SCRIPT_READ)
{
    UpdateScript script;
    memset(&script, 0x55, sizeof script);  // proves the reader clears what it does not fill
    EXPECT_EQ(parseUpdateScript(text.data(), text.size(), &script), expected);
    return script;
}

std::string repeat(char c, size_t count)
{
    return std::string(count, c);
}

struct HeaderCase {
    const char* name;
    std::string text;
    std::string registryKey, patchVersion, minimumVersion;
    int fullMode;
    int entryCount;
};

class ScriptHeader : public testing::TestWithParam<HeaderCase> {};

TEST_P(ScriptHeader, Reads)
{
    const HeaderCase& c = GetParam();
    UpdateScript script = parse(c.text);
    EXPECT_EQ(script.registryKey, c.registryKey);
    EXPECT_EQ(script.patchVersion, c.patchVersion);
    EXPECT_EQ(script.minimumVersion, c.minimumVersion);
    EXPECT_EQ(script.fullMode, c.fullMode);
    EXPECT_EQ(script.entryCount, c.entryCount);
    EXPECT_FALSE(script.hasRunCommand);
}

INSTANTIATE_TEST_SUITE_P(Table, ScriptHeader, testing::Values(
    HeaderCase{"Plain", HEADER, "Software\\Example\\Product", "1006", "1004", 1, 0},
    HeaderCase{"Empty", "", "", "", "", 0, 0},
    HeaderCase{"NoModeLine", "K\n1\n2", "K", "1", "2", 0, 0},
    HeaderCase{"TrimsEndOnly", " K \n 1006 \n1004  \n 7x\n", " K", " 1006", "1004", 7, 0},
    HeaderCase{"CrLf", "K\r\n1006\r\n1004\r\n0\r\n", "K", "1006", "1004", 0, 0},
    HeaderCase{"LoneCrKept", "K\rX\n1\r\n2 \r \n1\n", "K\rX", "1", "2 \r", 1, 0},
    HeaderCase{"NoCommentsInHeader", "#K\n;1\n/2\n:1\n", "#K", ";1", "/2", 0, 0},
    HeaderCase{"ByteOrderMarkKept", "\xEF\xBB\xBFK\n1\n2\n1\n", "\xEF\xBB\xBFK", "1", "2", 1, 0},
    HeaderCase{"NegativeMode", "K\n1\n2\n-1\n", "K", "1", "2", -1, 0},
    HeaderCase{"CtrlZEndsFile", "K\n1\x1A" "2\n3\n", "K", "1", "", 0, 0},
    HeaderCase{"Line258", repeat('k', 258) + "\n1\n2\n1\n", repeat('k', 258), "1", "2", 1, 0},
    // 259 characters fill one read; the line feed is read as the next header line.
    HeaderCase{"Line259Spills", repeat('k', 259) + "\n1\n2\n1\n", repeat('k', 259), "", "1", 2, 1},
    HeaderCase{"Line260Spills", repeat('k', 260) + "\n1\n2\n1\n", repeat('k', 259), "k", "1", 2, 1}),
    [](const testing::TestParamInfo<HeaderCase>& info) { return info.param.name; });

struct EntriesCase {
    const char* name;
    std::string lines;  // after HEADER
    std::vector<std::pair<std::string, std::string>> entries;  // targetPath, sourceName
    const char* runCommand;  // nullptr: no run entry
};

class ScriptEntries : public testing::TestWithParam<EntriesCase> {};

TEST_P(ScriptEntries, Reads)
{
    const EntriesCase& c = GetParam();
    UpdateScript script = parse(HEADER + c.lines);
    std::vector<std::pair<std::string, std::string>> entries;
    for (int i = 0; i < script.entryCount; i++)
        entries.emplace_back(script.entries[i].targetPath, script.entries[i].sourceName);
    EXPECT_EQ(entries, c.entries);
    EXPECT_EQ(script.hasRunCommand, c.runCommand != nullptr);
    EXPECT_STREQ(script.runCommand, c.runCommand ? c.runCommand : "");
}

INSTANTIATE_TEST_SUITE_P(Table, ScriptEntries, testing::Values(
    EntriesCase{"WorkedExamples", "game.exe\ndata\\maps\\level1.map\nRUN game.exe\n",
                {{"game.exe", "game.exe"}, {"data\\maps\\level1.map", "level1.map"}, {"game.exe", "game.exe"}},
                "game.exe"},
    EntriesCase{"RunInsideNamesIsNoRunEntry", "data\\RUNES.dat\nTRUNK.pak\nRUNgame.exe\nrun game.exe\n",
                {{"data\\RUNES.dat", "RUNES.dat"}, {"TRUNK.pak", "TRUNK.pak"}, {"RUNgame.exe", "RUNgame.exe"},
                 {"run game.exe", "run game.exe"}},
                nullptr},
    EntriesCase{"RunAlone", "RUN\n", {{"", ""}}, ""},
    EntriesCase{"RunKeepsBlanksBeyondFourth", "RUN  game.exe\n", {{" game.exe", " game.exe"}}, " game.exe"},
    EntriesCase{"RunWithArguments", "RUN game.exe -x\n", {{"game.exe -x", "game.exe -x"}}, "game.exe -x"},
    EntriesCase{"RunAfterBlanksAndTab", "  RUN\tbin\\game.exe\n", {{"bin\\game.exe", "game.exe"}}, "bin\\game.exe"},
    EntriesCase{"LastRunWins", "RUN a.exe\nb.dat\nRUN c.exe\n",
                {{"a.exe", "a.exe"}, {"b.dat", "b.dat"}, {"c.exe", "c.exe"}}, "c.exe"},
    EntriesCase{"CommentsTakeNoSlot", "/c\n;c\n#c\n:c\n\na\n# c\nb\n", {{"a", "a"}, {"b", "b"}}, nullptr},
    EntriesCase{"OnlyFirstCharacterMarksComment", " #a\n\t;b\n", {{" #a", " #a"}, {"\t;b", "\t;b"}}, nullptr},
    EntriesCase{"LineOfSpaces", "   \n", {{"", ""}}, nullptr},
    EntriesCase{"TabsAndCarriageReturnsNotTrimmed", "a.txt \t \nb\r\r\n", {{"a.txt \t", "a.txt \t"}, {"b\r", "b\r"}},
                nullptr},
    EntriesCase{"CrLfAsLf", "a\r\nb\\c\r\n", {{"a", "a"}, {"b\\c", "c"}}, nullptr},
    EntriesCase{"LoneCrAtEnd", "a\nb \r", {{"a", "a"}, {"b \r", "b \r"}}, nullptr},
    EntriesCase{"NoFinalLineFeed", "a\nb", {{"a", "a"}, {"b", "b"}}, nullptr},
    EntriesCase{"CtrlZEndsFile", "a\n\x1A" "b\n", {{"a", "a"}}, nullptr},
    EntriesCase{"NulEndsText", std::string("a\0b\nc\n", 6), {{"a", "a"}, {"c", "c"}}, nullptr},
    EntriesCase{"NulFirstIsSkipped", std::string("\0ab\nc\n", 6), {{"c", "c"}}, nullptr},
    EntriesCase{"BackslashRuns", "\\\\dir\\\\file\\\\\n\\\\\ndir/file\n",
                {{"\\\\dir\\\\file\\\\", "file"}, {"\\\\", ""}, {"dir/file", "dir/file"}}, nullptr},
    EntriesCase{"Entry258", repeat('e', 258) + "\n", {{repeat('e', 258), repeat('e', 258)}}, nullptr},
    EntriesCase{"Entry259LineFeedSkipped", repeat('e', 259) + "\n", {{repeat('e', 259), repeat('e', 259)}}, nullptr},
    EntriesCase{"Entry260Splits", repeat('e', 260) + "\n", {{repeat('e', 259), repeat('e', 259)}, {"e", "e"}},
                nullptr},
    EntriesCase{"LongCommentContinues", "#" + repeat('c', 300) + "\n", {{repeat('c', 42), repeat('c', 42)}}, nullptr},
    EntriesCase{"LongCommentContinuesAsComment", "#" + repeat('c', 258) + "#more\n", {}, nullptr}),
    [](const testing::TestParamInfo<EntriesCase>& info) { return info.param.name; });

std::string entries(int count)
{
    std::string lines;
    for (int i = 0; i < count; i++)
        lines += "file" + std::to_string(i) + ".dat\n# between\n";
    return lines;
}

TEST(ScriptLimits, FiftyEntriesFit)
{
    UpdateScript script = parse(HEADER + entries(50) + "; trailing comment\n\n");
    ASSERT_EQ(script.entryCount, 50);
    EXPECT_STREQ(script.entries[49].sourceName, "file49.dat");
}

TEST(ScriptLimits, FiftyFirstEntryIsRefused)
{
    parse(HEADER + entries(51), SCRIPT_TOO_MANY_ENTRIES);
    parse(HEADER + entries(50) + "RUN game.exe\n", SCRIPT_TOO_MANY_ENTRIES);
}

TEST(TrimLineEnd, RemovesLineFeedsAndSpacesOnly)
{
    const std::pair<const char*, const char*> cases[] = {
        {"a \n \n", "a"}, {"a\t \n", "a\t"}, {"a\r\n", "a\r"}, {" \n ", ""}, {"", ""}, {" a", " a"}};
    for (const auto& c : cases) {
        char text[TEXT_CAPACITY];
        strcpy(text, c.first);
        trimLineEnd(text);
        EXPECT_STREQ(text, c.second) << '"' << c.first << '"';
    }
}

}  // namespace
