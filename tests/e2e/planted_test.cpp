// A patch folder is often a download folder holding anything: nothing planted
// there under a system name may run inside or for the updater.
#include "harness.h"

#include <gtest/gtest.h>

// Under Wine, ctest runs this with WINEDLLOVERRIDES=comctl32=n,b, so that Wine
// would take a comctl32.dll from the program's folder as Windows does. Wine's own
// modules load imm32, version and uxtheme from there whatever a program does, so
// under Wine only the DLLs the updater brings in itself (comctl32) are judged by
// this test; on Windows every planted name is.
TEST(Planted, DllsAndShellInThePatchFolderAreNeverLoaded)
{
    PatchRun run;
    std::string marker = joinPath(testProgramFolder(), "marker_dll.dll");
    for (const char* name : {"comctl32.dll", "uxtheme.dll", "version.dll", "dwmapi.dll"})
        ASSERT_TRUE(CopyFileA(marker.c_str(), joinPath(run.patch, name).c_str(), FALSE));
    run.putGame("cmd.exe");  // would leave launch.log in the patch folder
    run.writePatch("data.dat", "data");
    run.writeScript("1006", "1004", 1, {"data.dat"});
    run.setRecord(run.install, 1005);
    run.markBefore();

    RunOutcome outcome = run.run({{"SRVN Updater- Installation Path", IDOK}, {"Success", IDOK}});

    expectShown(outcome, {pathDialog(run.install), installationComplete()});
    EXPECT_EQ(run.changes(),
              withProgramGone({"+install\\data.dat", "-patch\\data.dat", "-patch\\update.txt"}));
    EXPECT_EQ(run.valueChanges(), Changes{"~version=4:ee030000"});
}
