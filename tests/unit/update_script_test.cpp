// The script reader: header, entries and limits, one row a case. Every text is
// also read in pieces of several sizes, as the updater reads its file.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "format/update_script.h"

namespace {

const std::string HEADER = "Software\\Example\\Product\n1006\n1004\n1\n";
const std::string K259 = std::string(259, 'k'), E259 = std::string(259, 'e');

// The script as one line: "key|patch|minimum|mode: entries", each entry "target" or
// "target>source" when they differ, "; RUN command" when there is a run entry.
std::string read(const std::string& text, ScriptParseResult expected = SCRIPT_READ)
{
    UpdateScript script, pieceByPiece;
    memset(&script, 0x55, sizeof script);  // proves the reader clears what it does not fill
    EXPECT_EQ(parseUpdateScript(text.data(), text.size(), &script), expected);
    for (size_t piece : {1, 2, 3, 258, 259, 260}) {
        ScriptReader reader;
        beginScript(&reader, &pieceByPiece);
        for (size_t at = 0; at < text.size(); at += piece)
            feedScript(&reader, text.data() + at, std::min(piece, text.size() - at));
        EXPECT_EQ(endScript(&reader), expected);
        EXPECT_EQ(memcmp(&script, &pieceByPiece, sizeof script), 0) << "read in pieces of " << piece;
    }
    std::string line = std::string(script.registryKey) + "|" + script.patchVersion + "|" + script.minimumVersion +
                       "|" + std::to_string(script.fullMode) + ":";
    for (int i = 0; i < script.entryCount; i++) {
        const FileEntry& entry = script.entries[i];
        line += std::string(i ? ", " : " ") + entry.targetPath;
        if (strcmp(entry.targetPath, entry.sourceName) != 0)
            line += std::string(">") + entry.sourceName;
    }
    return line + (script.hasRunCommand ? std::string("; RUN ") + script.runCommand : "");
}

TEST(ScriptReader, Header)
{
    const std::pair<std::string, std::string> rows[] = {
        {HEADER, "Software\\Example\\Product|1006|1004|1:"},
        {"", "|||0:"},
        {"K\n1\n2", "K|1|2|0:"},
        {" K \n 1006 \n1004  \n 7x\n", " K| 1006|1004|7:"},
        {"K\r\n1006\r\n1004\r\n0\r\n", "K|1006|1004|0:"},
        {"K\rX\n1\r\n2 \r \n1\n", "K\rX|1|2 \r|1:"},
        {"#K\n;1\n/2\n:1\n", "#K|;1|/2|0:"},
        {"\xEF\xBB\xBFK\n1\n2\n-1\n", "\xEF\xBB\xBFK|1|2|-1:"},
        {"K\n1\x1A" "2\n3\n", "K|1||0:"},
        {std::string(258, 'k') + "\n1\n2\n1\n", std::string(258, 'k') + "|1|2|1:"},
        // 259 characters fill one read; the line feed is read as the next header line.
        {K259 + "\n1\n2\n1\n", K259 + "||1|2: 1"},
        {K259 + "k\n1\n2\n1\n", K259 + "|k|1|2: 1"}};
    for (const auto& [text, script] : rows)
        EXPECT_EQ(read(text), script) << text;
}

TEST(ScriptReader, Entries)
{
    const std::pair<std::string, std::string> rows[] = {
        {"game.exe\ndata\\maps\\level1.map\nRUN game.exe\n", " game.exe, data\\maps\\level1.map>level1.map, game.exe; RUN game.exe"},
        {"data\\RUNES.dat\nTRUNK.pak\nRUNgame.exe\nrun game.exe\nmaps\\RUN 2.map\n", " data\\RUNES.dat>RUNES.dat, TRUNK.pak, RUNgame.exe, run game.exe, maps\\RUN 2.map>RUN 2.map"},
        {"RUN\n", " ; RUN "},
        {"RUN  game.exe\n", "  game.exe; RUN  game.exe"},
        {"RUN game.exe -x\n", " game.exe -x; RUN game.exe -x"},
        {"  RUN\tbin\\game.exe\n", " bin\\game.exe>game.exe; RUN bin\\game.exe"},
        {"RUN a.exe\nb.dat\nRUN c.exe\n", " a.exe, b.dat, c.exe; RUN c.exe"},
        {"/c\n;c\n#c\n:c\n\na\n# c\nb\n", " a, b"},
        {" #a\n\t;b\n   \n", "  #a, \t;b, "},
        {"a.txt \t \nb\r\r\nc\r\nd \r", " a.txt \t, b\r, c, d \r"},
        {"a\n\x1A" "b\n", " a"},
        {std::string("a\0b\nc\n\0d\ne", 11), " a, c, e"},
        {"\\\\dir\\\\file\\\\\n\\\\\ndir/file\n", " \\\\dir\\\\file\\\\>file, \\\\>, dir/file"},
        {E259 + "\n", " " + E259},
        {E259 + "e\n", " " + E259 + ", e"},
        {"#" + std::string(300, 'c') + "\n", " " + std::string(42, 'c')},
        {"#" + std::string(258, 'c') + "#more\n", ""}};
    for (const auto& [lines, entries] : rows)
        EXPECT_EQ(read(HEADER + lines), "Software\\Example\\Product|1006|1004|1:" + entries) << lines;
}

}  // namespace
