// The installation record and the version gate, through the real registry.
#include <gtest/gtest.h>

#include "harness.h"

namespace {

const Answer CONFIRM_FOLDER = {"SRVN Updater- Installation Path", IDOK};
const Answer CLOSE_COMPLETE = {"Success", IDOK};

Shown upToDate()
{
    return notice("Sorvane Online",
                  "Your version is currently up to date.\nWould you like to continue with the update?", MB_YESNO);
}

std::string dword(DWORD value)
{
    return std::string(reinterpret_cast<const char*>(&value), 4);
}

struct RecordRow {
    const char* name;
    const char* patchVersion;
    int fullMode;
    void (*setUp)(PatchRun&);
    std::vector<Answer> answers;
    std::vector<Shown> (*shown)(const PatchRun&);
    bool copies;
    Changes valueChanges;
};

void PrintTo(const RecordRow& row, std::ostream* out)
{
    *out << row.name;
}

class Record : public testing::TestWithParam<RecordRow> {};

TEST_P(Record, Run)
{
    const RecordRow& row = GetParam();
    PatchRun run;
    run.writePatch("data.dat", "new data");
    run.writeScript(row.patchVersion, "1004", row.fullMode, {"data.dat"});
    row.setUp(run);
    run.markBefore();

    RunOutcome outcome = run.run(row.answers);

    expectShown(outcome, row.shown(run));
    Changes files = row.copies ? Changes{"+install\\data.dat", "-patch\\data.dat", "-patch\\update.txt"}
                               : Changes{"-patch\\data.dat", "-patch\\update.txt"};
    EXPECT_EQ(run.changes(), withProgramGone(files));
    EXPECT_EQ(run.valueChanges(), row.valueChanges);
}

// Values as the registry lists them: "type:bytes in hex".
const char* const VERSION_1006 = "+version=4:ee030000";

INSTANTIATE_TEST_SUITE_P(Verdicts, Record, testing::Values(
    RecordRow{"OneBuildAhead", "1006", 1, [](PatchRun& r) { r.setRecord(r.install, 1005); },
              {CONFIRM_FOLDER, CLOSE_COMPLETE},
              [](const PatchRun& r) { return std::vector<Shown>{pathDialog(r.install), installationComplete()}; },
              true, {"~version=4:ee030000"}},
    RecordRow{"GapFromMinimum", "1006", 1, [](PatchRun& r) { r.setRecord(r.install, 1004); },
              {CONFIRM_FOLDER, CLOSE_COMPLETE},
              [](const PatchRun& r) { return std::vector<Shown>{pathDialog(r.install), installationComplete()}; },
              true, {"~version=4:ee030000"}},
    RecordRow{"TooOld", "1006", 1, [](PatchRun& r) { r.setRecord(r.install, 1003); },
              {{"Sorvane Online Updater", IDOK}},
              [](const PatchRun&) {
                  return std::vector<Shown>{notice("Sorvane Online Updater",
                                                   "The current version is too old to be updated by this patch.\n"
                                                   "Please download the complete install from our web page.",
                                                   MB_ICONERROR)};
              },
              false, {}},
    RecordRow{"Newer", "1006", 1, [](PatchRun& r) { r.setRecord(r.install, 1007); }, {{"Error", IDOK}},
              [](const PatchRun&) {
                  return std::vector<Shown>{notice(
                      "Error", "The current version number is newer than this update.\nInstallation aborted",
                      MB_ICONERROR)};
              },
              false, {}},
    RecordRow{"UpToDateNo", "1006", 1, [](PatchRun& r) { r.setRecord(r.install, 1006); },
              {{"Sorvane Online", IDNO}}, [](const PatchRun&) { return std::vector<Shown>{upToDate()}; }, false,
              {}},
    RecordRow{"UpToDateYes", "1006", 1, [](PatchRun& r) { r.setRecord(r.install, 1006); },
              {{"Sorvane Online", IDYES}, CONFIRM_FOLDER, CLOSE_COMPLETE},
              [](const PatchRun& r) {
                  return std::vector<Shown>{upToDate(), pathDialog(r.install), installationComplete()};
              },
              true, {}},
    RecordRow{"NoVersionValues", "1006", 1, [](PatchRun& r) { r.setString("path", r.install); },
              {{"Error", IDOK}},
              [](const PatchRun&) {
                  return std::vector<Shown>{notice("Error",
                                                   "Unable to find current version number. Please download a "
                                                   "complete install from our website.",
                                                   MB_ICONERROR)};
              },
              false, {}},
    // "beta" reads as 0: newer than any positive installation, one ahead of -1.
    RecordRow{"NonNumericPatchVersionIsNewerThanPositive", "beta", 1,
              [](PatchRun& r) { r.setRecord(r.install, 5); }, {{"Error", IDOK}},
              [](const PatchRun&) {
                  return std::vector<Shown>{notice(
                      "Error", "The current version number is newer than this update.\nInstallation aborted",
                      MB_ICONERROR)};
              },
              false, {}},
    RecordRow{"NonNumericPatchVersionStampsZero", "beta", 1,
              [](PatchRun& r) { r.setRecord(r.install, 0xFFFFFFFFu); }, {CONFIRM_FOLDER, CLOSE_COMPLETE},
              [](const PatchRun& r) { return std::vector<Shown>{pathDialog(r.install), installationComplete()}; },
              true, {"~version=4:00000000"}}),
    [](const testing::TestParamInfo<RecordRow>& info) { return info.param.name; });

// The installed version is read from whatever bytes the value holds, up to 4.
// Each patch version equals the value as it should read, so a right read asks
// "up to date" and a wrong one does not.
INSTANTIATE_TEST_SUITE_P(Values, Record, testing::Values(
    RecordRow{"OnlyVerKeepsVerAndAddsVersion", "1006", 1,
              [](PatchRun& r) { r.setString("path", r.install); r.setDword("ver", 1005); },
              {CONFIRM_FOLDER, CLOSE_COMPLETE},
              [](const PatchRun& r) { return std::vector<Shown>{pathDialog(r.install), installationComplete()}; },
              true, {VERSION_1006}},
    RecordRow{"VersionOfOneByte", "7", 1,
              [](PatchRun& r) { r.setString("path", r.install); r.setBytes("version", "\x07", REG_BINARY); },
              {{"Sorvane Online", IDNO}}, [](const PatchRun&) { return std::vector<Shown>{upToDate()}; }, false,
              {}},
    RecordRow{"VersionOfTwoBytes", "1006", 1,
              [](PatchRun& r) { r.setString("path", r.install); r.setBytes("version", "\xee\x03", REG_BINARY); },
              {{"Sorvane Online", IDNO}}, [](const PatchRun&) { return std::vector<Shown>{upToDate()}; }, false,
              {}},
    RecordRow{"VersionAsOneCharacterText", "55", 1,
              [](PatchRun& r) { r.setString("path", r.install); r.setString("version", "7"); },
              {{"Sorvane Online", IDNO}}, [](const PatchRun&) { return std::vector<Shown>{upToDate()}; }, false,
              {}},
    RecordRow{"VersionAsLongTextFallsBackToVer", "1004", 1,
              [](PatchRun& r) {
                  r.setString("path", r.install);
                  r.setString("version", "1006");
                  r.setDword("ver", 1004);
              },
              {{"Sorvane Online", IDNO}}, [](const PatchRun&) { return std::vector<Shown>{upToDate()}; }, false,
              {}},
    RecordRow{"LongVersionValueFallsBackToVer", "1004", 1,
              [](PatchRun& r) {
                  r.setString("path", r.install);
                  r.setBytes("version", dword(1006) + dword(0), REG_QWORD);
                  r.setDword("ver", 1004);
              },
              {{"Sorvane Online", IDNO}}, [](const PatchRun&) { return std::vector<Shown>{upToDate()}; }, false,
              {}}),
    [](const testing::TestParamInfo<RecordRow>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(Keys, Record, testing::Values(
    RecordRow{"MissingKeyFullMode", "1006", 1, [](PatchRun& r) { r.key += "\\Absent"; r.writeScript("1006", "1004", 1, {"data.dat"}); },
              {{"Error", IDOK}}, [](const PatchRun&) { return std::vector<Shown>{recordNotFound()}; }, false, {}},
    RecordRow{"MissingKeyQuietMode", "1006", 0, [](PatchRun& r) { r.key += "\\Absent"; r.writeScript("1006", "1004", 0, {"data.dat"}); },
              {{"Error", IDOK}}, [](const PatchRun&) { return std::vector<Shown>{recordNotFound()}; }, false, {}},
    RecordRow{"NoPathQuietModeEndsSilently", "1006", 0, [](PatchRun& r) { r.setDword("version", 1005); }, {},
              [](const PatchRun&) { return std::vector<Shown>{}; }, false, {}},
    RecordRow{"NoPathFullModeShowsEmptyField", "1006", 1, [](PatchRun& r) { r.setDword("version", 1005); },
              {CONFIRM_FOLDER}, [](const PatchRun&) { return std::vector<Shown>{pathDialog("")}; }, false, {}},
    RecordRow{"OverlongPathIsNotCut", "1006", 1,
              [](PatchRun& r) { r.setString("path", r.install + "\\" + std::string(300, 'x')); r.setDword("version", 1005); },
              {CONFIRM_FOLDER}, [](const PatchRun&) { return std::vector<Shown>{pathDialog("")}; }, false, {}},
    RecordRow{"UnterminatedPathIsEndedAfterItsLastByte", "1006", 0,
              [](PatchRun& r) { r.setBytes("path", r.install, REG_SZ); }, {},
              [](const PatchRun&) { return std::vector<Shown>{}; }, true, {}},
    RecordRow{"NestedKey", "1006", 1,
              [](PatchRun& r) {
                  r.key += "\\Nested\\Deeper";
                  r.writeScript("1006", "1004", 1, {"data.dat"});
                  r.setRecord(r.install, 1005);
              },
              {CONFIRM_FOLDER, CLOSE_COMPLETE},
              [](const PatchRun& r) { return std::vector<Shown>{pathDialog(r.install), installationComplete()}; },
              true, {"~version=4:ee030000"}}),
    [](const testing::TestParamInfo<RecordRow>& info) { return info.param.name; });

}  // namespace
