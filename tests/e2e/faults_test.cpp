// Faults a real installation meets, and hostile scripts: each ends cleanly,
// tells the user what the format calls for, and writes nothing outside the
// installation folder.
#include "harness.h"

#include <gtest/gtest.h>

namespace {

// Quiet-mode runs: the copy dialog and its failure notices are all the user sees.
struct FaultRow {
    const char* name;
    std::vector<std::string> entries;
    void (*setUp)(PatchRun&);
    bool holdFirst;              // install\a.dat held open, without sharing, during the run
    int answer;                  // to the first failure notice; later ones get Yes
    std::vector<Shown> (*shown)(const PatchRun&);
    Changes changes;
};

void PrintTo(const FaultRow& row, std::ostream* out)
{
    *out << row.name;
}

class Faults : public testing::TestWithParam<FaultRow> {};

TEST_P(Faults, EndCleanly)
{
    const FaultRow& row = GetParam();
    PatchRun run;
    run.writeScript("1006", "1004", 0, row.entries);
    run.setRecord(run.install, 1005);
    run.writePatch("a.dat", "new a");
    run.writePatch("b.dat", "new b");
    row.setUp(run);
    run.markBefore();
    HANDLE held = row.holdFirst ? CreateFileA((run.install + "\\a.dat").c_str(), GENERIC_READ, 0, NULL,
                                              OPEN_EXISTING, 0, NULL)
                                : NULL;

    std::vector<Shown> shown = row.shown(run);
    std::vector<Answer> answers;
    for (size_t i = 0; i < shown.size(); i++)
        answers.push_back({shown[i].caption, i == 0 ? row.answer : IDYES});
    RunOutcome outcome = run.run(answers);
    if (held)
        CloseHandle(held);

    expectShown(outcome, shown);
    EXPECT_EQ(run.changes(), withProgramGone(row.changes));
    EXPECT_EQ(run.valueChanges(), Changes{});
}

void nothing(PatchRun&) {}

void oldFirstFile(PatchRun& run)
{
    run.writeInstall("a.dat", "old a");
}

const Changes B_COPIED = {"-patch\\a.dat", "+install\\b.dat", "-patch\\b.dat", "-patch\\update.txt"};

INSTANTIATE_TEST_SUITE_P(Destination, Faults, testing::Values(
    FaultRow{"HeldOpenYes", {"a.dat", "b.dat"}, oldFirstFile, true, IDYES, [](const PatchRun& r) { return std::vector<Shown>{copyFailure(r.install + "\\a.dat", 32)}; },
             B_COPIED},
    FaultRow{"HeldOpenNo", {"a.dat", "b.dat"}, oldFirstFile, true, IDNO, [](const PatchRun& r) { return std::vector<Shown>{copyFailure(r.install + "\\a.dat", 32)}; },
             {"-patch\\a.dat", "-patch\\b.dat", "-patch\\update.txt"}},
    FaultRow{"IsADirectory", {"a.dat", "b.dat"},
             [](PatchRun& r) { r.makeInstallFolder("a.dat"); }, false, IDYES,
             [](const PatchRun& r) { return std::vector<Shown>{copyFailure(r.install + "\\a.dat", 5)}; }, B_COPIED},
    // Wine running as root would let a read-only file be opened for writing; the
    // updater itself refuses, as CopyFileA does on Windows.
    FaultRow{"ReadOnly", {"a.dat", "b.dat"},
             [](PatchRun& r) {
                 r.writeInstall("a.dat", "old a");
                 SetFileAttributesA((r.install + "\\a.dat").c_str(), FILE_ATTRIBUTE_READONLY);
             },
             false, IDYES, [](const PatchRun& r) { return std::vector<Shown>{copyFailure(r.install + "\\a.dat", 5)}; },
             B_COPIED},
    FaultRow{"MissingSubFolder", {"sub\\a.dat", "b.dat"}, nothing, false, IDYES,
             [](const PatchRun& r) { return std::vector<Shown>{copyFailure(r.install + "\\sub\\a.dat", 3)}; },
             B_COPIED},
    FaultRow{"MissingSource", {"c.dat", "b.dat"}, nothing, false, IDYES,
             [](const PatchRun& r) { return std::vector<Shown>{copyFailure(r.install + "\\c.dat", 2)}; },
             {"+install\\b.dat", "-patch\\b.dat", "-patch\\update.txt"}},
    FaultRow{"PathOver259Characters", {std::string(240, 'n'), "b.dat"}, nothing, false, IDYES,
             [](const PatchRun& r) {
                 return std::vector<Shown>{copyFailure(r.install + "\\" + std::string(240, 'n'), 206)};
             },
             {"+install\\b.dat", "-patch\\b.dat", "-patch\\update.txt"}}),
    [](const testing::TestParamInfo<FaultRow>& info) { return info.param.name; });

// Entries that would leave the installation folder fail like a bad path (error 161).
INSTANTIATE_TEST_SUITE_P(Hostile, Faults, testing::Values(
    FaultRow{"ClimbingOut", {"..\\a.dat", "data/../../a.dat", "...\\a.dat", "b.dat"}, nothing, false, IDYES,
             [](const PatchRun& r) {
                 return std::vector<Shown>{copyFailure(r.install + "\\..\\a.dat", 161),
                                           copyFailure(r.install + "\\data/../../a.dat", 161),
                                           copyFailure(r.install + "\\...\\a.dat", 161)};
             },
             B_COPIED},
    FaultRow{"AbsolutePaths", {"C:\\a.dat", "\\a.dat", "x:a.dat", "b.dat"}, nothing, false, IDYES,
             [](const PatchRun& r) {
                 return std::vector<Shown>{copyFailure(r.install + "\\C:\\a.dat", 161),
                                           copyFailure(r.install + "\\\\a.dat", 161),
                                           copyFailure(r.install + "\\x:a.dat", 161)};
             },
             B_COPIED},
    // The script and the program are patch files like any other when listed.
    FaultRow{"ListsItsOwnFiles", {"update.txt", "updater.exe"}, nothing, false, IDYES,
             [](const PatchRun&) { return std::vector<Shown>{}; },
             {"+install\\update.txt", "+install\\updater.exe", "-patch\\update.txt"}},
    // A NUL ends a line's text: nothing after it is read.
    FaultRow{"NulInEntry", {std::string("b.dat\0a.dat", 11)}, nothing, false, IDYES,
             [](const PatchRun&) { return std::vector<Shown>{}; },
             {"+install\\b.dat", "-patch\\b.dat", "-patch\\update.txt"}},
    // 700 characters read as pieces of 259: three entries, each too long a path.
    FaultRow{"LineOfThousandsOfCharacters", {std::string(700, 'n')}, nothing, false, IDNO,
             [](const PatchRun& r) {
                 return std::vector<Shown>{copyFailure(r.install + "\\" + std::string(259, 'n'), 206)};
             },
             {"-patch\\update.txt"}}),
    [](const testing::TestParamInfo<FaultRow>& info) { return info.param.name; });

// A close during a long copy ends the dialog only after every entry was processed.
TEST(CopyDialog, CloseDuringTheCopyStillCopiesEveryEntry)
{
    PatchRun run;
    HANDLE big = CreateFileA(joinPath(run.patch, "big.bin").c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    LARGE_INTEGER size;
    size.QuadPart = 256 << 20;
    SetFilePointerEx(big, size, NULL, FILE_BEGIN);
    SetEndOfFile(big);
    CloseHandle(big);
    run.writePatch("b.dat", "b");
    run.writeScript("1006", "1004", 0, {"big.bin", "b.dat"});
    run.setRecord(run.install, 1005);
    run.markBefore();

    expectShown(run.run({{"SRVN Updater", CLOSE_BOX}}), {});
    EXPECT_EQ(run.changes(), withProgramGone({"+install\\big.bin", "-patch\\big.bin", "+install\\b.dat",
                                              "-patch\\b.dat", "-patch\\update.txt"}));
    EXPECT_EQ(snapshotTree(run.install)["big.bin"], "size " + std::to_string(size.QuadPart));
    EXPECT_EQ(run.valueChanges(), Changes{});
}

TEST(HostileScripts, BinaryJunkMeetsNoRecord)
{
    PatchRun run;
    std::string junk;
    unsigned seed = 12345;
    for (int i = 0; i < 4096; i++) {
        seed = seed * 1103515245u + 12345u;
        junk += static_cast<char>(seed >> 16);
    }
    run.writeScript(junk);
    run.writePatch("a.dat", "keep");
    run.setRecord(run.install, 1005);
    run.markBefore();

    expectShown(run.run({{"Error", IDOK}}), {recordNotFound()});
    EXPECT_EQ(run.changes(), withProgramGone({"-patch\\update.txt"}));
    EXPECT_EQ(run.valueChanges(), Changes{});
}

TEST(HostileScripts, OneMebibyteOfCommentsIsRead)
{
    PatchRun run;
    std::string script = run.key + "\n1006\n1004\n0\n";
    while (script.size() < (1u << 20))
        script += "; " + std::string(200, 'c') + "\n";
    script += "a.dat\nb.dat\n";
    run.writeScript(script);
    run.writePatch("a.dat", "a");
    run.writePatch("b.dat", "b");
    run.setRecord(run.install, 1005);
    run.markBefore();

    expectShown(run.run({}), {});
    EXPECT_EQ(run.changes(), withProgramGone({"+install\\a.dat", "-patch\\a.dat", "+install\\b.dat",
                                              "-patch\\b.dat", "-patch\\update.txt"}));
    EXPECT_EQ(run.valueChanges(), Changes{});
}

}  // namespace
