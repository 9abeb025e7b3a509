// The run as a whole and its script: what a missing or refused script shows,
// and where the patch folder is cleaned.
#include <gtest/gtest.h>

#include "harness.h"


TEST(Script, MissingScriptTellsAndTouchesNothingElse)
{
    PatchRun run;
    run.writePatch("game.exe", "game");
    run.writePatch("readme.txt", "keep me");
    run.setRecord(run.install, 1005);
    run.markBefore();

    RunOutcome outcome = run.run({{"Sorvane Online", IDOK}});

    expectShown(outcome, {notice("Sorvane Online", run.patch + "\\update.txt file not found.", MB_ICONERROR)});
    EXPECT_EQ(run.changes(), withProgramGone({}));
    EXPECT_EQ(run.valueChanges(), Changes{});
}

TEST(Script, MoreThanFiftyEntriesIsRefusedBeforeAnyCopy)
{
    PatchRun run;
    std::vector<std::string> entries;
    for (int i = 0; i < 51; i++) {
        entries.push_back("f" + std::to_string(i) + ".dat");
        run.writePatch(entries.back(), "data");
    }
    run.writeScript("1006", "1004", 0, entries);
    run.setRecord(run.install, 1005);
    run.markBefore();

    RunOutcome outcome = run.run({{"Sorvane Online", IDOK}});

    expectShown(outcome,
                {notice("Sorvane Online", run.patch + "\\update.txt lists more than 50 files.", MB_ICONERROR)});
    // As for a missing script: nothing copied, only the script itself removed.
    EXPECT_EQ(run.changes(), withProgramGone({"-patch\\update.txt"}));
    EXPECT_EQ(run.valueChanges(), Changes{});
}

TEST(Script, FiftyEntriesAreAllCopied)
{
    PatchRun run;
    std::vector<std::string> entries;
    Changes expected;
    for (int i = 0; i < 50; i++) {
        entries.push_back("f" + std::to_string(i) + ".dat");
        run.writePatch(entries.back(), "data" + std::to_string(i));
        expected.push_back("+install\\" + entries.back());
        expected.push_back("-patch\\" + entries.back());
    }
    run.writeScript("1006", "1004", 0, entries);
    run.setRecord(run.install, 1005);
    run.markBefore();

    expectShown(run.run({}), {});
    expected.push_back("-patch\\update.txt");
    EXPECT_EQ(run.changes(), withProgramGone(expected));
    EXPECT_EQ(run.valueChanges(), Changes{});
    EXPECT_EQ(readFile(run.install + "\\f49.dat"), "data49");
}

// In a drive's root the program folder is "P:", whose current directory may be
// elsewhere: the cleanup must still act on the root, never on that directory.
TEST(Script, DriveRootCleansTheRootNotTheDrivesCurrentDirectory)
{
    const std::string drive = "P:";
    if (GetFileAttributesA("P:\\") == INVALID_FILE_ATTRIBUTES) {
        PatchRun scratch;
        if (!DefineDosDeviceA(0, "P:", scratch.root.c_str()))
            GTEST_SKIP() << "drive P: is not mapped (the Wine session maps it)";
    }
    removeTree("P:\\sub");
    for (const char* name : {"a.dat", "update.txt", "updater.exe"})
        DeleteFileA(("P:\\" + std::string(name)).c_str());
    CreateDirectoryA("P:\\sub", NULL);

    PatchRun run;
    run.setRecord(run.install, 1005);
    std::string script = run.key + "\n1006\n1004\n0\na.dat\n";
    writeFile("P:\\update.txt", script);
    writeFile("P:\\a.dat", "root a");
    CopyFileA(joinPath(run.patch, "updater.exe").c_str(), "P:\\updater.exe", FALSE);
    // Decoys in the drive's current directory, under the same names.
    writeFile("P:\\sub\\update.txt", script);
    writeFile("P:\\sub\\a.dat", "sub a");
    Tree before = snapshotTree("P:\\");
    run.markBefore();

    RunOutcome outcome = run.run({}, "P:\\updater.exe", {"=P:=P:\\sub"});

    expectShown(outcome, {});
    EXPECT_EQ(readFile(run.install + "\\a.dat"), "root a");
    EXPECT_EQ(treeChanges(before, snapshotTree("P:\\")), (Changes{"-a.dat", "-update.txt", "-updater.exe"}));
    EXPECT_EQ(run.changes(), (Changes{"+install\\a.dat"}));
    EXPECT_EQ(run.valueChanges(), Changes{});
    removeTree("P:\\sub");
    DeleteFileA("P:\\updater.exe");
}
