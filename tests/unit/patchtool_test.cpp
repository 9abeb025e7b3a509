// patchtool over real temporary trees: each row seeds one fault and expects its
// diagnostics (each line's beginning, in order) and the exit status.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "patchtool/patchtool.h"

namespace fs = std::filesystem;

namespace {

struct ToolCase {
    const char* name;
    std::string files;       // "path=content|...", "{nul}" a NUL byte, "={pe}" a Windows program, "=@size:N" sparse, "=->target" a symbolic link, "ro:path" read-only; "#" in a path is its place in the list
    const char* args;
    int status;
    const char* diagnostics;  // the start of each line of standard error, one a line
    const char* output = nullptr;  // the same of standard output, when given
};

// The text in UTF-16, as an editor saves it: little-endian with a byte order mark, or big-endian without.
std::string utf16(const std::string& text, bool bigEndian)
{
    std::string bytes = bigEndian ? "" : "\xFF\xFE";
    for (char c : text)
        bytes += bigEndian ? std::string(1, '\0') + c : std::string(1, c) + '\0';
    return bytes;
}

// Each line of text begins as the lines of expected do, one for one; a last line "..." takes any rest.
void expectLines(std::istream& text, const char* expectedText)
{
    std::stringstream expected(expectedText);
    std::string line, start;
    while (std::getline(text, line) && start != "...")
        EXPECT_TRUE(std::getline(expected, start) && (line.rfind(start, 0) == 0 || start == "...")) << line << "\nexpected: " << start;
    EXPECT_FALSE(std::getline(expected, start)) << "not printed: " << start;
}

std::string times(const std::string& text, int count) { return count ? text + times(text, count - 1) : ""; }

void PrintTo(const ToolCase& row, std::ostream* out) { *out << row.name; }

#define SHIP "ship/updater.exe={pe}|ship/a.dat=a|ship/update.txt=K\n2\n1\n0\n"
const std::string MUSIC = times("music of version one", 1050);  // 21000 bytes that deltas shrink
#define BUILD "build old new out --key K --version 2 --min 1 --updater u.exe"
#define TREES "u.exe={pe}|old/a.dat=1|new/a.dat=2|"

class Patchtool : public testing::TestWithParam<ToolCase> {};

TEST_P(Patchtool, Diagnoses)
{
    const ToolCase& row = GetParam();
    fs::path root = fs::temp_directory_path() / "patchtool-test" / row.name;
    fs::remove_all(root);
    fs::create_directories(root);
    std::stringstream files(row.files + "|"), args(row.args), err, out;
    int index = 0;
    for (std::string file; std::getline(files, file, '|') && !file.empty(); index++) {
        std::string name = file.substr(0, file.find('=')), content = file.substr(file.find('=') + 1);
        bool readOnly = name.rfind("ro:", 0) == 0;
        name.erase(0, readOnly ? 3 : 0);
        if (name.find('#') != std::string::npos)
            name.replace(name.find('#'), 1, std::to_string(index));
        if (content.find("{nul}") != std::string::npos)
            content.replace(content.find("{nul}"), 5, std::string(1, '\0'));
        if (content == "{pe}")  // the least a Windows program holds: MZ, and at 0x3C the offset of "PE\0\0"
            content = "MZ" + std::string(58, '\0') + std::string("\x40\0\0\0PE\0\0", 8);
        fs::create_directories((root / name).parent_path());
        if (content.rfind("->", 0) == 0)
            fs::create_symlink(content.substr(2), root / name);
        else if (content.rfind("@size:", 0) == 0)  // sparse: a file of that size that takes no room
            std::ofstream(root / name), fs::resize_file(root / name, std::stoull(content.substr(6)));
        else
            std::ofstream(root / name, std::ios::binary) << content;
        if (readOnly)
            fs::permissions(root / name, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    }
    std::vector<std::string> words{std::istream_iterator<std::string>(args), {}};
    fs::current_path(root);
    bool outBefore = fs::exists(root / "out");
    EXPECT_EQ(runPatchtool(words, out, err, false), row.status) << err.str();
    if (row.status != 0 && words[0] == "build") {  // a refused build writes nothing at all
        EXPECT_EQ(fs::exists(root / "out"), outBefore) << "out written";
    }
    if (fs::exists(root / "out.partial") || (row.status != 0 && words[0] == "build" && fs::exists(root / "new/patch")))
        ADD_FAILURE() << "a draft of the patch is left";
    // Every row's updater.exe is unsigned, which check warns about on every patch: a row that names the
    // warning sees it, the others do not.
    std::stringstream shown;
    for (std::string line; std::getline(err, line);)
        if (line.find("carries no Authenticode signature") == std::string::npos || strstr(row.diagnostics, "Authenticode"))
            shown << line << "\n";
    expectLines(shown, row.diagnostics);
    if (row.output)
        expectLines(out, row.output);
}

INSTANTIATE_TEST_SUITE_P(Check, Patchtool, testing::Values(
    // The one warning: the rows' updater.exe carries no Authenticode signature, which every player would meet.
    ToolCase{"Clean", SHIP "a.dat\nRUN game.exe\n|ship/game.exe=g", "check ship", 0, "ship/updater.exe: warning: carries no Authenticode signature", "ship/update.txt: 2 entries, 0 errors, 1 warning\n"},
    // Listed twice (in any case) the file is copied twice; the run entry beside its own file is the usual way.
    ToolCase{"EntryListedTwice", SHIP "a.dat\nA.DAT\n", "check ship", 0, "ship/update.txt:6: warning: lists \"A.DAT\" again, after line 5"},
    ToolCase{"RunEntryBesideItsFile", SHIP "a.dat\ngame.exe\nRUN game.exe\n|ship/game.exe=g", "check ship", 0, ""},
    // Editors' encodings: one error that says what happened; a byte order mark replaces what else line 1 shows.
    ToolCase{"Utf8ByteOrderMark", SHIP "a.dat|ship/update.txt=\xEF\xBB\xBFK{nul}\n2\n1\n0\na.dat", "check ship", 1, "ship/update.txt:1: error: the file begins with a UTF-8 byte order mark"},
    ToolCase{"Utf16LittleEndian", "ship/a.dat=a|ship/update.txt=" + utf16("K\r\n2\r\n1\r\n0\r\na.dat\r\n", false), "check ship", 1, "ship/update.txt: error: the file is UTF-16 text\nship/updater.exe: warning: missing"},
    ToolCase{"Utf16BigEndianWithoutMark", SHIP "a.dat|ship/update.txt=" + utf16("K\n2\n1\n0\na.dat\n", true), "check ship", 1, "ship/update.txt: error: the file is UTF-16 text", "ship/update.txt: 0 entries, 1 error, 1 warning\n"},
    ToolCase{"FlatFileInAnotherCase", "ship/updater.exe={pe}|ship/Game.exe=g|ship/update.txt=K\n2\n1\n0\nGAME.EXE\n", "check ship", 0, ""},
    ToolCase{"HeaderLineOf259", "ship/a.dat=a|ship/updater.exe={pe}|ship/update.txt=" + std::string(259, 'k') + "\n2\n1\n0\na.dat", "check ship", 1, "ship/update.txt:1: error: the line is 259 characters long\nship/update.txt:2: error: the patch version \"\" is not a number\nship/update.txt:4: error: the flat file \"0\""},
    ToolCase{"VersionNotANumber", SHIP "a.dat|ship/update.txt=K\nbeta\n1\n0\na.dat", "check ship", 1, "ship/update.txt:2: error: the patch version \"beta\" is not a number"},
    ToolCase{"VersionWithTextAfterItsDigits", SHIP "a.dat|ship/update.txt=K\n1006a\n1\n0\na.dat", "check ship", 1, "ship/update.txt:2: error: the patch version \"1006a\" is not a number"},
    ToolCase{"MinimumAbovePatch", SHIP "a.dat|ship/update.txt=K\n2\n3\n0\na.dat", "check ship", 1, "ship/update.txt:3: error: the minimum version is above"},
    ToolCase{"MinimumEqualsPatch", SHIP "a.dat|ship/update.txt=K\n2\n2\n0\na.dat", "check ship", 0, ""},
    // A read-only patch file is installed read-only, and the next patch fails on it.
    ToolCase{"ReadOnlyPatchFile", SHIP "a.dat\nb.dat|ro:ship/b.dat=b", "check ship", 0, "ship/b.dat: warning: is read-only"},
    ToolCase{"ModeLineTwo", SHIP "a.dat|ship/update.txt=K\n2\n1\n2\na.dat", "check ship", 0, "ship/update.txt:4: warning: the mode line \"2\" reads as full"},
    // The line of the 51st entry, the true count, and no file of the refused entries called unnamed.
    ToolCase{"FiftyTwoEntries", SHIP + times("a.dat\n", 50) + "b.dat\nc.dat\n|ship/b.dat=b", "check ship", 1, "ship/update.txt:55: error: the 51st file entry, of 52\n..."},
    ToolCase{"OverlongLine", SHIP "a.dat\n#" + std::string(258, 'c') + "#more\n", "check ship", 1, "ship/update.txt:6: error: the line is 264 characters long"},
    ToolCase{"CtrlZ", SHIP "a.dat\n\x1A\n", "check ship", 0, "ship/update.txt:6: warning: a Ctrl-Z byte ends"},
    ToolCase{"Nul", SHIP "a.dat{nul}b\n", "check ship", 0, "ship/update.txt:5: warning: a NUL byte ends"},
    ToolCase{"MissingFlatFile", SHIP "a.dat\nb.dat\n", "check ship", 1, "ship/update.txt:6: error: the flat file \"b.dat\""},
    ToolCase{"SharedFlatFile", SHIP "a.dat\nsub\\a.dat\n", "check ship", 0, "ship/update.txt:6: warning: shares the flat file"},
    ToolCase{"LeavesInstallation", SHIP "..\\a.dat\n", "check ship", 1, "ship/update.txt:5: error: \"..\\a.dat\" leaves"},
    ToolCase{"RefusedNames", SHIP "a.dat\ncon.txt\na<b.dat\nx.dat.\n|ship/con.txt=c|ship/a<b.dat=a|ship/x.dat.=x", "check ship", 1, "ship/update.txt:6: error: \"con.txt\" uses the device name\nship/update.txt:7: error: \"a<b.dat\" holds the character <\nship/update.txt:8: error: \"x.dat.\" has a name ending in a dot"},
    ToolCase{"BeginsWithBlank", SHIP " a.dat\n|ship/ a.dat=a", "check ship", 1, "ship/update.txt:5: error: the entry begins with a blank\nship/a.dat: warning: no entry names this"},
    ToolCase{"OutsideAscii", SHIP "a.dat\n\xC3\xA9.dat\n|ship/\xC3\xA9.dat=e", "check ship", 0, "ship/update.txt:6: warning: the name holds characters outside ASCII"},
    ToolCase{"SeveralRunEntries", SHIP "a.dat\nRUN g.exe\nRUN g.exe\n|ship/g.exe=g", "check ship", 0, "ship/update.txt:7: warning: another run entry"},
    ToolCase{"UnnamedFile", SHIP "a.dat\n|ship/b.dat=b", "check ship", 0, "ship/b.dat: warning: no entry names this"},
    ToolCase{"ListsItsOwnScript", SHIP "a.dat\nupdate.txt\n", "check ship", 0, "ship/update.txt:6: warning: the entry installs the patch's own update.txt"},
    ToolCase{"MissingUpdater", "ship/a.dat=a|ship/update.txt=K\n2\n1\n0\na.dat", "check ship", 0, "ship/updater.exe: warning: missing"},
    ToolCase{"NoScript", "ship/a.dat=a", "check ship", 2, "ship/update.txt: error: cannot be read: No such file or directory"},
    ToolCase{"NoFolder", "", "check nowhere", 2, "nowhere/update.txt: error: cannot be read: No such file or directory"},
    ToolCase{"Help", "", "check --help", 0, "", "usage: patchtool build\n..."},
    // Sure to fail for every player: errors that say what the updater will do and how to write it.
    ToolCase{"KeyWithTheHive", SHIP "a.dat|ship/update.txt=HKEY_CURRENT_USER\\Software\\S\n2\n1\n0\na.dat", "check ship", 1, "ship/update.txt:1: error: the record key names the hive"},
    ToolCase{"KeyNamingAHiveInside", SHIP "a.dat|ship/update.txt=Software\\Hkey_Games\\HKCU\n2\n1\n0\na.dat", "check ship", 0, ""},
    ToolCase{"KeyWithHkcu", SHIP "a.dat|ship/update.txt=hkcu\\Software\\S\n2\n1\n0\na.dat", "check ship", 1, "ship/update.txt:1: error: the record key names the hive"},
    ToolCase{"KeyWithForwardSlashes", SHIP "a.dat|ship/update.txt=Software/S\n2\n1\n0\na.dat", "check ship", 1, "ship/update.txt:1: error: the record key holds a forward slash"},
    ToolCase{"KeyWithLeadingBackslash", SHIP "a.dat|ship/update.txt=\\Software\\S\n2\n1\n0\na.dat", "check ship", 1, "ship/update.txt:1: error: the record key begins with a backslash"},
    ToolCase{"EmptyKey", SHIP "a.dat|ship/update.txt=\n2\n1\n0\na.dat", "check ship", 1, "ship/update.txt:1: error: the record key is empty"},
    ToolCase{"NegativeVersion", SHIP "a.dat|ship/update.txt=K\n-1006\n-2000\n0\na.dat", "check ship", 1, "ship/update.txt:2: error: the patch version -1006 is not above 0"},
    ToolCase{"ZeroVersion", SHIP "a.dat|ship/update.txt=K\n0\n0\n0\na.dat", "check ship", 1, "ship/update.txt:2: error: the patch version 0 is not above 0"},
    ToolCase{"VersionBeyond32Bits", SHIP "a.dat|ship/update.txt=K\n2147483648\n1\n0\na.dat", "check ship", 1, "ship/update.txt:2: error: the patch version \"2147483648\" does not fit 32 bits: the updater reads it as -2147483648"},
    ToolCase{"LargestUnsigned32BitNumber", SHIP "a.dat|ship/update.txt=K\n4294967295\n1\n0\na.dat", "check ship", 1, "ship/update.txt:2: error: the patch version \"4294967295\" does not fit 32 bits: the updater reads it as -1"},
    ToolCase{"ModeLineAWord", SHIP "a.dat|ship/update.txt=K\n2\n1\nfull\na.dat", "check ship", 1, "ship/update.txt:4: error: the mode line \"full\" is not a number: the updater reads it as 0, quiet mode"},
    ToolCase{"ThreeHeaderLines", SHIP "a.dat|ship/update.txt=K\n2\n1\na.dat\n", "check ship", 1, "ship/update.txt:4: error: the mode line \"a.dat\" is not a number\nship/a.dat: warning: no entry names this"},
    ToolCase{"RunInLowerCase", SHIP "run g.exe\n|ship/g.exe=g", "check ship", 1, "ship/update.txt:5: error: \"run\" marks the program to launch only in capitals\nship/update.txt:5: error: the flat file \"run g.exe\"\nship/a.dat: warning: no entry names this\nship/g.exe: warning: no entry names this"},
    ToolCase{"RunOfAFolderBeginningWithRun", SHIP "RUN files\\x.dat\n|ship/x.dat=x", "check ship", 1, "ship/update.txt:5: error: the run entry launches \"files\\x.dat\", which is not a program\nship/a.dat: warning: no entry names this"},
    // Messages that name the real cause.
    ToolCase{"LineEndsConvertedTwice", SHIP "a.dat|ship/update.txt=K\r\r\n2\r\r\n1\r\r\n0\r\r\na.dat\r\r\n", "check ship", 1, "ship/update.txt:1: error: the lines end in CR CR LF"},
    ToolCase{"TabInTheKey", SHIP "a.dat|ship/update.txt=K\tS\n2\n1\n0\na.dat", "check ship", 1, "ship/update.txt:1: error: holds a tab"},
    ToolCase{"TabInAnEntry", SHIP "a.dat\na\tb.dat\n|ship/a\tb.dat=t", "check ship", 1, "ship/update.txt:6: error: \"a\tb.dat\" holds a tab, which Windows refuses"},
    ToolCase{"ForwardSlashes", SHIP "data/a.dat\n", "check ship", 1, "ship/update.txt:5: error: \"data/a.dat\" holds a forward slash; the updater knows only backslashes: use backslashes\nship/update.txt:5: error: the flat file\nship/a.dat: warning: no entry"},
    ToolCase{"ColonIsAStream", SHIP "a:b.dat\n", "check ship", 1, "ship/update.txt:5: error: \"a:b.dat\" holds a colon, which Windows reads after a file's name as one of its streams\nship/update.txt:5: error: the flat file\nship/a.dat: warning: no entry"},
    ToolCase{"RunWithArguments", SHIP "a.dat\nRUN g.exe -windowed\n|ship/g.exe=g", "check ship", 1, "ship/update.txt:6: error: the run entry's whole text, \"g.exe -windowed\", is also the name of the file it installs\nship/g.exe: warning: no entry"},
    ToolCase{"QuotedRunEntry", SHIP "a.dat\nRUN \"g.exe\"\n|ship/g.exe=g", "check ship", 1, "ship/update.txt:6: error: the run entry is quoted\nship/update.txt:6: error: the flat file\nship/g.exe: warning: no entry"},
    ToolCase{"UpdaterNotAProgram", "ship/updater.exe=u|ship/a.dat=a|ship/update.txt=K\n2\n1\n0\na.dat", "check ship", 1, "ship/updater.exe: error: is not a Windows program"},
    // Keys as other tools write them: none reaches a record under HKEY_CURRENT_USER.
    ToolCase{"KeyFromRegeditsAddressBar", SHIP "a.dat|ship/update.txt=Computer\\HKEY_CURRENT_USER\\Software\\S\n2\n1\n0\na.dat", "check ship", 1, "ship/update.txt:1: error: the record key begins with \"Computer\\\""},
    ToolCase{"KeyOfAnotherHive", SHIP "a.dat|ship/update.txt=HKLM\\Software\\S\n2\n1\n0\na.dat", "check ship", 1, "ship/update.txt:1: error: the record key names the hive;"},
    ToolCase{"KeyAsPowerShellsDrive", SHIP "a.dat|ship/update.txt=HKCU:\\Software\\S\n2\n1\n0\na.dat", "check ship", 1, "ship/update.txt:1: error: the record key names the hive as PowerShell's drive"},
    ToolCase{"KeyAsARegFilesHeader", SHIP "a.dat|ship/update.txt=[HKEY_CURRENT_USER\\Software\\S]\n2\n1\n0\na.dat", "check ship", 1, "ship/update.txt:1: error: the record key begins with a bracket"},
    ToolCase{"KeyQuoted", SHIP "a.dat|ship/update.txt=\"Software\\S\"\n2\n1\n0\na.dat", "check ship", 1, "ship/update.txt:1: error: the record key begins with a quote"},
    ToolCase{"KeyWithALeadingBlank", SHIP "a.dat|ship/update.txt= Software\\S\n2\n1\n0\na.dat", "check ship", 1, "ship/update.txt:1: error: the record key begins with a blank"},
    // An empty mode line reads as 0: quiet mode, no version check, no record.
    ToolCase{"EmptyModeLine", SHIP "a.dat|ship/update.txt=K\n2\n1\n\na.dat", "check ship", 1, "ship/update.txt:4: error: the mode line \"\" is not a number"},
    ToolCase{"QuotedPlainEntry", SHIP "a.dat|ship/update.txt=K\n2\n1\n0\na.dat\n\"b.dat\"", "check ship", 1, "ship/update.txt:6: error: the entry is quoted:\n..."},
    // 238 characters leave no room under C:\Program Files\Game; 237 do.
    ToolCase{"EntryTooLongForATypicalFolder", SHIP "a.dat\n" + std::string(234, 'd') + ".dat|ship/" + std::string(234, 'd') + ".dat=x", "check ship", 0, "ship/update.txt:6: warning: the path is 238 characters long"},
    ToolCase{"EntryFitsATypicalFolder", SHIP "a.dat\n" + std::string(233, 'd') + ".dat|ship/" + std::string(233, 'd') + ".dat=x", "check ship", 0, ""},
    ToolCase{"RunInCapitalsIsAProgram", SHIP "a.dat|ship/GAME.EXE=g|ship/update.txt=K\n2\n1\n0\na.dat\nRUN GAME.EXE", "check ship", 0, ""},
    // The gate compares the last three digits alone.
    ToolCase{"MinimumFromAnotherThousand", SHIP "a.dat|ship/update.txt=K\n2005\n1998\n1\na.dat", "check ship", 0, "ship/update.txt:3: warning: the minimum 1998 is from another thousand than the patch 2005, and the updater compares builds (the last three digits) alone: players at 2000 to 2003 are told their version is too old, while older versions such as 1500 are patched"},
    ToolCase{"PatchAtBuildOne", SHIP "a.dat|ship/update.txt=K\n2001\n2000\n1\na.dat", "check ship", 0, "ship/update.txt:3: warning: the patch is at build 1 (the last three digits of 2001)"},
    ToolCase{"MinimumInTheSameThousand", SHIP "a.dat|ship/update.txt=K\n2005\n2003\n1\na.dat", "check ship", 0, ""}),
    testing::PrintToStringParamName());

INSTANTIATE_TEST_SUITE_P(Build, Patchtool, testing::Values(
    ToolCase{"Clean", TREES "old/data/b.dat=1|new/data/b.dat=1|new/data/c.dat=c|new/game.exe=g|old/game.exe=g", BUILD " --run game.exe", 0, ""},
    ToolCase{"FolderOldLacks", TREES "new/sub/x.dat=x", BUILD, 1, "new/sub/x.dat: error: the folder \"sub\" is not in OLD"},
    ToolCase{"FiftyFiles", TREES + times("new/f#.dat=x|", 49), BUILD, 0, ""},
    ToolCase{"FiftyOneFiles", TREES + times("new/f#.dat=x|", 50), BUILD, 1, "new: error: 51 files to ship"},
    // NEW's read-only file is shipped writable: build's closing check would warn otherwise.
    ToolCase{"ReadOnlyFileInNew", TREES "ro:new/b.dat=b", BUILD, 0, ""},
    ToolCase{"Inexpressible", TREES "new/;x.dat=x|new/RUN x=x", BUILD, 1, "new/;x.dat: error: \";x.dat\" begins with \";\"\nnew/RUN x: error: \"RUN x\" begins with RUN and a blank"},
    ToolCase{"NothingChanged", "u.exe={pe}|old/a.dat=1|new/a.dat=1", BUILD, 1, "new: error: nothing changed"},
    ToolCase{"OldFileStays", TREES "old/gone.txt=g", BUILD, 0, "old/gone.txt: warning: not in NEW"},
    ToolCase{"EmptyFolderInNew", TREES "new/saves/=", BUILD, 0, "new/saves: warning: is an empty folder"},
    ToolCase{"OnlyRemovals", "u.exe={pe}|old/a.dat=1|new/a.dat=1|old/gone.txt=g", BUILD, 1, "new: error: nothing to ship: NEW only lacks files of OLD, and the format cannot delete files\n..."},
    ToolCase{"BaseNameClash", TREES "old/x/=|old/y/=|new/x/n.dat=1|new/y/n.dat=2", BUILD, 1, "new/y/n.dat: error: shares its base name with \"x\\n.dat\""},
    // Windows names ignore case: the flat folder would hold one of the two.
    ToolCase{"BaseNamesDifferingInCase", TREES "old/a/=|old/b/=|new/a/Data.pak=1|new/b/data.pak=2", BUILD, 1, "new/b/data.pak: error: shares its base name with \"a\\Data.pak\""},
    ToolCase{"BaseNameSharedByEqualFiles", TREES "new/x/n.dat=1|new/y/n.dat=1|old/x/=|old/y/=", BUILD, 0, "out/update.txt:7: warning: shares the flat file"},
    ToolCase{"RunNotInNew", TREES "", BUILD " --run game.exe", 1, "new: error: --run names \"game.exe\""},
    ToolCase{"OutNotEmpty", TREES "out/x=x", BUILD, 2, "out: error: exists and is not empty"},
    ToolCase{"NoUpdater", TREES, "build old new out --key K --version 2 --min 1", 0, "out/updater.exe: warning: missing: give --updater"},
    ToolCase{"Summary", TREES "new/b.exe=bb", BUILD " --run b.exe", 0, "", "           1  a.dat\n           2  RUN b.exe\n2 entries, 3 bytes, in out\n"},
    ToolCase{"SymbolicLink", TREES "new/link.dat=->a.dat", BUILD, 1, "new/link.dat: error: is a symbolic link"},
    // Nothing at all is written when there is an error, found before or by the closing check.
    ToolCase{"MinimumAboveVersion", TREES, "build old new out --key K --version 1 --min 2 --updater u.exe", 1, "out/update.txt:3: error: the minimum version is above"},
    ToolCase{"VersionBeyond32Bits", TREES, "build old new out --key K --version 2147483648 --min 1 --updater u.exe", 1, "out/update.txt:2: error: the patch version \"2147483648\" does not fit 32 bits"},
    ToolCase{"KeyWithTheHive", TREES, "build old new out --key HKCU\\Software\\S --version 2 --min 1 --updater u.exe", 1, "out/update.txt:1: error: the record key names the hive"},
    ToolCase{"OutInsideNew", TREES, "build old new new/patch --key K --version 2 --min 1 --updater u.exe", 2, "new/patch: error: lies inside new"},
    ToolCase{"OutInsideOld", TREES, "build old new old/./patch --key K --version 2 --min 1 --updater u.exe", 2, "old/./patch: error: lies inside old"},
    ToolCase{"UpdaterInNew", TREES "old/docs/=|new/docs/Updater.exe=x", BUILD, 1, "new/docs/Updater.exe: error: is named updater.exe"},
    ToolCase{"ScriptInNew", TREES "old/docs/=|new/docs/update.txt=x", BUILD, 1, "new/docs/update.txt: error: is named update.txt"},
    ToolCase{"UpdaterNotAProgram", "u.exe=u|old/a.dat=1|new/a.dat=2", BUILD, 1, "u.exe: error: is not a Windows program"},
    // A file renamed only in case is replaced under its old name, and is not one that stays installed.
    ToolCase{"RenamedOnlyInCase", TREES "old/Ambient.WAV=x|new/ambient.wav=y", BUILD, 0, "new/ambient.wav: warning: was Ambient.WAV in old; the updater cannot rename, so the installed file keeps its old name and receives the new contents"},
    ToolCase{"BuildHelp", "", "build --help", 0, "", "usage: patchtool build\n..."},
    // A draft left by a build that was cut off is never shipped: its stale a.dat would show as 5 bytes.
    ToolCase{"StaleDraft", TREES "out.partial/a.dat=stale", BUILD, 0, "", "           1  a.dat\n1 entry, 1 byte, in out"},
    // Cumulative: v2 changed a.dat and v3 changed it back; a patch for v1 and v2 must still ship it.
    ToolCase{"CumulativeShipsWhatAnyVersionLacks", "u.exe={pe}|v1/a.dat=1|v2/a.dat=2|v3/a.dat=1|v1/b.dat=b|v2/b.dat=b|v3/b.dat=b", "build v1 v2 v3 out --key K --version 3 --min 1 --updater u.exe", 0, "v1: warning: equals NEW file for file", "           1  a.dat\n1 entry, 1 byte, in out"},
    ToolCase{"CumulativeShipsWhatTheOldestLacks", "u.exe={pe}|v1/a.dat=0|v2/a.dat=1|v3/a.dat=1", "build v1 v2 v3 out --key K --version 3 --min 1 --updater u.exe", 0, "v2: warning: equals NEW file for file", "           1  a.dat\n1 entry, 1 byte, in out"},
    ToolCase{"CumulativeFromTheOldestAlone", "u.exe={pe}|v1/a.dat=1|v2/a.dat=2|v3/a.dat=1", "build v1 v3 out --key K --version 3 --min 1 --updater u.exe", 1, "v3: error: nothing changed"},
    // The same OLD twice, a mistyped command: the build goes on, once.
    ToolCase{"CumulativeWithAnOldTreeTwice", "u.exe={pe}|v1/a.dat=1|v2/a.dat=2|v3/a.dat=3", "build v1 v2 ./v2 v3 out --key K --version 3 --min 1 --updater u.exe", 0, "./v2: warning: is given twice as an OLD tree (as v2)", "           1  a.dat\n1 entry, 1 byte, in out"},
    // Windows finds a folder in any case: v1 installed Data\maps, later versions say data\maps.
    ToolCase{"CumulativeFolderInAnotherCase", "u.exe={pe}|v1/Data/maps/a.map=1|v2/data/maps/a.map=2|v3/data/maps/a.map=3", "build v1 v2 v3 out --key K --version 3 --min 1 --updater u.exe", 0, "v3/data/maps/a.map: warning: was Data/maps/a.map in v1", "           1  data\\maps\\a.map\n1 entry, 1 byte, in out"},
    ToolCase{"CumulativeFolderMissingInOneVersion", "u.exe={pe}|v1/sub/a.dat=1|v1/x=|v2/x=|v3/x=|v3/sub/a.dat=2", "build v1 v2 v3 out --key K --version 3 --min 1 --updater u.exe", 1, "v3/sub/a.dat: error: the folder \"sub\" is not in v2"},
    // A changed file that every OLD holds ships as a delta from each version, unless asked otherwise or
    // some OLD lacks it (then its players need the whole file).
    ToolCase{"ChangedFileShipsAsADelta", "u.exe={pe}|old/m.pak=" + MUSIC + "|new/m.pak=" + MUSIC + "2", BUILD, 0, "", "\n              delta from \n1 entry, "},
    ToolCase{"NoDeltaShipsWhole", "u.exe={pe}|old/m.pak=" + MUSIC + "|new/m.pak=" + MUSIC + "2", BUILD " --no-delta", 0, "", "       21001  m.pak\n1 entry, 21001 bytes"},
    ToolCase{"WholeAskedForOneFile", "u.exe={pe}|old/m.pak=" + MUSIC + "|new/m.pak=" + MUSIC + "2|old/n.pak=" + MUSIC + "|new/n.pak=" + MUSIC + "3", BUILD " --whole m.pak", 0, "", "       21001  m.pak\n\n              delta from \n2 entries, "},
    ToolCase{"CumulativeShipsADeltaFromEachVersion", "u.exe={pe}|v1/m.pak=" + MUSIC + "|v2/m.pak=" + MUSIC + "1|v3/m.pak=" + MUSIC + "12", "build v1 v2 v3 out --key K --version 3 --min 1 --updater u.exe", 0, "", "\n              delta from \n              delta from \n1 entry, "},
    ToolCase{"OneVersionLacksTheFile", "u.exe={pe}|v1/x=|v2/x=|v2/m.pak=" + MUSIC + "|v3/x=|v3/m.pak=" + MUSIC + "2", "build v1 v2 v3 out --key K --version 3 --min 1 --updater u.exe", 0, "", "       21001  m.pak\n1 entry, 21001 bytes"},
    ToolCase{"Version", "", "--version", 0, "", "patchtool 1.1.0\n"},
    ToolCase{"Usage", "", "build old new", 2, "patchtool: unknown command or wrong arguments; see patchtool --help"}),
    testing::PrintToStringParamName());

// A patch folder and an installation: what the update would do to it.
#define PLAN SHIP "a.dat\nb.dat\n|ship/b.dat=b|game/a.dat=old|"
INSTANTIATE_TEST_SUITE_P(Plan, Patchtool, testing::Values(
    ToolCase{"ReplacedAndNew", PLAN "game/c.dat=c", "plan ship game", 0, "", "  a.dat: replaced\n  b.dat: new\n1 file of the installation stays as it is\nversion: quiet mode\nspace: the copies need 0.1 MB at their peak\nmanifest: none, so nothing is verified\nplan: the update would complete"},
    ToolCase{"Unchanged", SHIP "a.dat\n|game/a.dat=a", "plan ship game", 0, "", "  a.dat: unchanged\n0 files\nversion\nspace\nmanifest\nplan: the update would complete"},
    ToolCase{"FolderInAnotherCase", SHIP "data\\maps\\a.dat\n|game/Data/Maps/a.dat=old", "plan ship game", 0, "", "  data\\maps\\a.dat: replaced\n0 files\n..."},
    // A name longer than the system takes is judged, never asked about (std::filesystem would throw).
    ToolCase{"NameTooLongToAsk", SHIP + times("e", 258) + "\n|game/x=", "plan ship game", 1, "ship: error: some entries would fail\n..."},
    ToolCase{"MissingFolder", SHIP "maps\\a.dat\n|game/x=", "plan ship game", 1, "ship: error: some entries would fail", "  maps\\a.dat: fails: the installation has no folder \"maps\"\n...\n"},
    ToolCase{"ReadOnlyInstalledFile", SHIP "a.dat\n|ro:game/a.dat=old", "plan ship game", 1, "ship: error: some entries", "  a.dat: fails: the installed file is read-only\n...\n"},
    ToolCase{"MissingFlatFile", SHIP "a.dat\nz.dat\n|game/x=", "plan ship game", 1, "ship: error: some entries\nship/update.txt:6: error: the flat file \"z.dat\" is not in the patch folder", "  a.dat: new\n  z.dat: fails: the patch folder has no file \"z.dat\"\n...\n"},
    ToolCase{"TooOld", "ship/updater.exe={pe}|ship/a.dat=a|ship/update.txt=K\n1006\n1004\n1\na.dat\n|game/x=", "plan ship game --version 1003", 1, "", "  a.dat: new\n1 file\nversion: installed 1003, patch 1006: the player is told the installed version is too old\n...\n"},
    ToolCase{"OneBuildAhead", "ship/updater.exe={pe}|ship/a.dat=a|ship/update.txt=K\n1006\n1004\n1\na.dat\n|game/x=", "plan ship game --version 1005", 0, "", "  a.dat: new\n1 file\nversion: installed 1005, patch 1006: goes on\n...\n"},
    ToolCase{"InstalledVersionNotAWholeNumber", SHIP "a.dat\n|game/x=", "plan ship game --version 1.0.5", 2, "patchtool: --version needs the installed version as a whole number"},
    // What check calls an error breaks every player: plan says so too.
    ToolCase{"CheckErrorsFailThePlan", "ship/updater.exe={pe}|ship/a.dat=a|ship/update.txt=HKCU\\Software\\S\n2\n1\n0\na.dat\n|game/x=", "plan ship game", 1, "ship/update.txt:1: error: the record key names the hive"},
    // A patch file that differs from its manifest: every player is told the patch is damaged.
    ToolCase{"DamagedPatch", SHIP "a.dat\n|ship/update.manifest=sorvane patch manifest 1\n" + times("0", 64) + " 1 a.dat\n|game/x=", "plan ship game", 1, "...", "  a.dat: new\n1 file\nversion\nspace\nmanifest: the player is told the patch is damaged or not the publisher's\nplan: the update would not complete"},
    // A replaced file is staged beside the old one: it needs its whole size, as a new one does.
    ToolCase{"ReplacedFileDoesNotFit", SHIP "huge.dat\n|ship/huge.dat=@size:15000000000000|game/huge.dat=old", "plan ship game", 1, "game: error: the patch does not fit the free space", "  huge.dat: replaced\n0 files\nversion\nspace: the copies need 14305114.8 MB at their peak\nmanifest\nplan: the update would not complete"},
    ToolCase{"DoesNotFit", SHIP "a.dat\nhuge.dat\n|ship/huge.dat=@size:15000000000000|game/x=", "plan ship game", 1, "game: error: the patch does not fit the free space", "  a.dat: new\n  huge.dat: new\n1 file\nversion\nspace: the copies need 14305114.8 MB at their peak\nmanifest\nplan: the update would not complete"}),
    testing::PrintToStringParamName());

// No argument list makes patchtool crash (the suite runs under the sanitizers): each gets its status.
TEST(PatchtoolArguments, NeverCrash)
{
    const std::pair<std::vector<std::string>, int> rows[] = {
        {{}, 2}, {{""}, 2}, {{"check"}, 2}, {{"check", "a", "b"}, 2}, {{"check", "a", "--key"}, 2},
        {{"plan"}, 2}, {{"plan", "a"}, 2}, {{"plan", "a", "b", "--version"}, 2}, {{"plan", "a", "b", "--version", ""}, 2},
        {{"plan", "a", "b", "--key", "k"}, 2}, {{"build"}, 2}, {{"build", "a", "b"}, 2}, {{"build", "a", "b", "c"}, 2},
        {{"build", "a", "b", "c", "--key"}, 2}, {{"build", "a", "b", "c", "--version", "x"}, 2}, {{"build", "--key", "K"}, 2},
        {{"sign"}, 2}, {{"sign", "a"}, 2}, {{"sign", "a", "b", "c"}, 2}, {{"keygen"}, 2}, {{"keygen", "a", "b"}, 2},
        {{"--version", "x"}, 2}, {{"--help", "x", "y"}, 2}, {{"-h"}, 0}, {{"nonsense"}, 2},
    };
    fs::path root = fs::temp_directory_path() / "patchtool-test" / "arguments";
    fs::remove_all(root);
    fs::create_directories(root);
    fs::current_path(root);
    for (const auto& [args, status] : rows) {
        std::ostringstream out, err;
        EXPECT_EQ(runPatchtool(args, out, err, false), status) << testing::PrintToString(args) << err.str();
    }
}

// A patch of deltas end to end: xdelta3 decodes what build wrote, check names each delta and refuses
// one changed, plan decodes each against an installation and refuses one no delta starts from.
TEST(PatchtoolDeltas, BuildCheckAndPlan)
{
    fs::path root = fs::temp_directory_path() / "patchtool-test" / "deltas";
    fs::remove_all(root);
    for (const char* tree : {"old", "new", "game", "changed"})
        fs::create_directories(root / tree);
    fs::current_path(root);
    std::ofstream("old/m.pak", std::ios::binary) << MUSIC;
    std::ofstream("game/m.pak", std::ios::binary) << MUSIC;
    std::ofstream("changed/m.pak", std::ios::binary) << MUSIC << "mine";
    std::ofstream("new/m.pak", std::ios::binary) << MUSIC << "2";
    std::ostringstream out, err;
    ASSERT_EQ(runPatchtool({"build", "old", "new", "out", "--key", "K", "--version", "2", "--min", "1"}, out, err, false), 0) << err.str();
    std::vector<fs::path> deltas;
    for (auto& item : fs::directory_iterator("out"))
        if (item.path().extension() == ".vcdiff")
            deltas.push_back(item.path());
    ASSERT_EQ(deltas.size(), 1u);
    EXPECT_FALSE(fs::exists("out/m.pak"));
    ASSERT_EQ(std::system(("xdelta3 -d -f -s old/m.pak '" + deltas[0].string() + "' decoded.pak").c_str()), 0);
    std::ifstream decoded("decoded.pak", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(decoded), {}), MUSIC + "2");

    const struct {
        std::vector<std::string> args;
        int status;
        const char* output;
    } rows[] = {
        {{"check", "out"}, 0, "out/m.pak."},
        {{"plan", "out", "game"}, 0, "  m.pak: replaced from its delta m.pak."},
        {{"plan", "out", "changed"}, 1, "  m.pak: fails: the installed file is none of the versions the update has deltas from"},
    };
    for (const auto& row : rows) {
        std::ostringstream shown, errors;
        EXPECT_EQ(runPatchtool(row.args, shown, errors, false), row.status) << row.args[0] << errors.str();
        EXPECT_EQ(shown.str().rfind(row.output, 0), 0u) << shown.str();
    }
    std::string bytes;
    {
        std::ifstream delta(deltas[0], std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(delta), {});
    }
    bytes[bytes.size() / 2] ^= 1;
    std::ofstream(deltas[0], std::ios::binary) << bytes;
    std::ostringstream shown, errors;
    EXPECT_EQ(runPatchtool({"check", "out"}, shown, errors, false), 1);
    EXPECT_NE(errors.str().find(".vcdiff: error: differs from its size and SHA-256"), std::string::npos) << errors.str();
}

}  // namespace
