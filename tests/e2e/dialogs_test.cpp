// Whole patch runs through both dialogs, in full and quiet mode.
#include "harness.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include "resource.h"

namespace {

const char* const PATH_CAPTION = "SRVN Updater- Installation Path";
const Answer CONFIRM_FOLDER = {PATH_CAPTION, IDOK};
const Answer CLOSE_COMPLETE = {"Success", IDOK};
const Answer CLOSE_INCOMPLETE = {"Sorvane Online Updater", IDOK};

Shown incomplete(int notCopied, int entries)
{
    return notice("Sorvane Online Updater",
                  "The update was not completed: " + std::to_string(notCopied) + " of " + std::to_string(entries) +
                      " files could not be copied.\nPlease download a complete install from our website.",
                  MB_ICONERROR);
}

void typicalPatch(PatchRun& run)
{
    run.putGame("game.exe");
    run.writePatch("level1.map", "map");
    run.makeInstallFolder("data\\maps");
    run.setRecord(run.install, 1005);
}

void threeFilesSecondMissing(PatchRun& run)
{
    run.writePatch("a.dat", "a");
    run.writePatch("c.dat", "c");
    run.setRecord(run.install, 1005);
}

void oneFile(PatchRun& run)
{
    run.writePatch("data.dat", "data");
    run.setRecord(run.install, 1005);
    CreateDirectoryA((run.root + "\\other").c_str(), NULL);
}

const Changes TYPICAL_CHANGES = {"+install\\data\\maps\\level1.map", "+install\\game.exe", "+install\\launch.log",
                                 "-patch\\game.exe", "-patch\\level1.map", "-patch\\update.txt"};
const Changes ONE_FILE_COPIED = {"+install\\data.dat", "-patch\\data.dat", "-patch\\update.txt"};
const Changes ONE_FILE_REMOVED = {"-patch\\data.dat", "-patch\\update.txt"};
const Changes STAMPED_1006 = {"~version=4:ee030000"};

struct CopyRow {
    const char* name;
    int fullMode;
    std::vector<std::string> entries;
    void (*setUp)(PatchRun&);
    std::vector<Answer> (*answers)(const PatchRun&);
    std::vector<Shown> (*shown)(const PatchRun&);
    Changes changes;
    Changes valueChanges;
    const char* launched;  // the command the game saw; nullptr when nothing may start
};

void PrintTo(const CopyRow& row, std::ostream* out)
{
    *out << row.name;
}

class Dialogs : public testing::TestWithParam<CopyRow> {};

TEST_P(Dialogs, Run)
{
    const CopyRow& row = GetParam();
    PatchRun run;
    run.writeScript("1006", "1004", row.fullMode, row.entries);
    row.setUp(run);
    run.markBefore();

    RunOutcome outcome = run.run(row.answers(run));

    expectShown(outcome, row.shown(run));
    std::string log = run.launchLog(row.launched != nullptr);
    EXPECT_EQ(run.changes(), withProgramGone(row.changes));
    EXPECT_EQ(run.valueChanges(), row.valueChanges);
    EXPECT_EQ(log, row.launched ? run.install + "\n" + row.launched : "");
}

std::vector<Answer> noAnswers(const PatchRun&)
{
    return {};
}

std::vector<Shown> nothingShown(const PatchRun&)
{
    return {};
}

std::vector<Answer> confirmAndClose(const PatchRun&)
{
    return {CONFIRM_FOLDER, CLOSE_COMPLETE};
}

std::vector<Shown> confirmedAndComplete(const PatchRun& run)
{
    return {pathDialog(run.install), installationComplete()};
}

INSTANTIATE_TEST_SUITE_P(Roads, Dialogs, testing::Values(
    CopyRow{"FullMode", 1, {"game.exe", "data\\maps\\level1.map", "RUN game.exe"}, typicalPatch, confirmAndClose,
            confirmedAndComplete, TYPICAL_CHANGES, STAMPED_1006, "game.exe"},
    CopyRow{"QuietMode", 0, {"game.exe", "data\\maps\\level1.map", "RUN game.exe"}, typicalPatch, noAnswers,
            nothingShown, TYPICAL_CHANGES, {}, "game.exe"},
    CopyRow{"NoEntries", 1, {}, oneFile, confirmAndClose, confirmedAndComplete, {"-patch\\update.txt"}, STAMPED_1006,
            nullptr},
    CopyRow{"SubFolderMissing", 1, {"data\\maps\\level1.map"},
            [](PatchRun& r) { r.writePatch("level1.map", "map"); r.setRecord(r.install, 1005); },
            [](const PatchRun&) {
                return std::vector<Answer>{CONFIRM_FOLDER, {"Sorvane Online Updater", IDYES}, CLOSE_INCOMPLETE};
            },
            [](const PatchRun& r) {
                return std::vector<Shown>{pathDialog(r.install), copyFailure(r.install + "\\data\\maps\\level1.map", 3),
                                          incomplete(1, 1)};
            },
            {"-patch\\level1.map", "-patch\\update.txt"}, {}, nullptr},
    CopyRow{"SecondFailsYes", 1, {"a.dat", "b.dat", "c.dat"}, threeFilesSecondMissing,
            [](const PatchRun&) {
                return std::vector<Answer>{CONFIRM_FOLDER, {"Sorvane Online Updater", IDYES}, CLOSE_INCOMPLETE};
            },
            [](const PatchRun& r) {
                return std::vector<Shown>{pathDialog(r.install), copyFailure(r.install + "\\b.dat", 2),
                                          incomplete(1, 3)};
            },
            {"+install\\a.dat", "+install\\c.dat", "-patch\\a.dat", "-patch\\c.dat", "-patch\\update.txt"}, {},
            nullptr},
    CopyRow{"SecondFailsNo", 1, {"a.dat", "b.dat", "c.dat"}, threeFilesSecondMissing,
            [](const PatchRun&) {
                return std::vector<Answer>{CONFIRM_FOLDER, {"Sorvane Online Updater", IDNO}, CLOSE_INCOMPLETE};
            },
            [](const PatchRun& r) {
                return std::vector<Shown>{pathDialog(r.install), copyFailure(r.install + "\\b.dat", 2),
                                          incomplete(2, 3)};
            },
            {"+install\\a.dat", "-patch\\a.dat", "-patch\\c.dat", "-patch\\update.txt"}, {}, nullptr},
    CopyRow{"SecondFailsQuietMode", 0, {"a.dat", "b.dat", "c.dat"}, threeFilesSecondMissing,
            [](const PatchRun&) { return std::vector<Answer>{{"Sorvane Online Updater", IDYES}}; },
            [](const PatchRun& r) { return std::vector<Shown>{copyFailure(r.install + "\\b.dat", 2)}; },
            {"+install\\a.dat", "+install\\c.dat", "-patch\\a.dat", "-patch\\c.dat", "-patch\\update.txt"}, {},
            nullptr}),
    [](const testing::TestParamInfo<CopyRow>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(PathDialog, Dialogs, testing::Values(
    CopyRow{"OkWithNewFolder", 1, {"data.dat"}, oneFile,
            [](const PatchRun& r) {
                return std::vector<Answer>{{PATH_CAPTION, IDOK, r.root + "\\other"}, CLOSE_COMPLETE};
            },
            confirmedAndComplete, {"+other\\data.dat", "-patch\\data.dat", "-patch\\update.txt"}, STAMPED_1006,
            nullptr},
    CopyRow{"OkOnEmptiedField", 1, {"data.dat"}, oneFile,
            [](const PatchRun&) { return std::vector<Answer>{{PATH_CAPTION, IDOK, ""}}; },
            [](const PatchRun& r) { return std::vector<Shown>{pathDialog(r.install)}; }, ONE_FILE_REMOVED, {},
            nullptr},
    CopyRow{"Cancel", 1, {"data.dat"}, oneFile,
            [](const PatchRun&) { return std::vector<Answer>{{PATH_CAPTION, IDCANCEL}}; },
            [](const PatchRun& r) { return std::vector<Shown>{pathDialog(r.install)}; }, ONE_FILE_REMOVED, {},
            nullptr},
    CopyRow{"CloseBoxDiscardsEdit", 1, {"data.dat"}, oneFile,
            [](const PatchRun& r) {
                return std::vector<Answer>{{PATH_CAPTION, CLOSE_BOX, r.root + "\\other"}, CLOSE_COMPLETE};
            },
            confirmedAndComplete, ONE_FILE_COPIED, STAMPED_1006, nullptr},
    // The field takes 259 characters; with the file name the path is too long to copy to.
    CopyRow{"FieldTakes259Characters", 1, {"data.dat"}, oneFile,
            [](const PatchRun& r) {
                std::string typed = r.root + "\\" + std::string(300 - r.root.size(), 'x');
                return std::vector<Answer>{{PATH_CAPTION, IDOK, typed}, {"Sorvane Online Updater", IDNO},
                                           CLOSE_INCOMPLETE};
            },
            [](const PatchRun& r) {
                std::string kept = (r.root + "\\" + std::string(300, 'x')).substr(0, 259);
                return std::vector<Shown>{pathDialog(r.install), copyFailure(kept + "\\data.dat", 206),
                                          incomplete(1, 1)};
            },
            ONE_FILE_REMOVED, {}, nullptr}),
    [](const testing::TestParamInfo<CopyRow>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(RunEntries, Dialogs, testing::Values(
    CopyRow{"OnlyTheLastIsLaunched", 0, {"RUN first.exe", "RUN game.exe"},
            [](PatchRun& r) { r.putGame("first.exe"); r.putGame("game.exe"); r.setRecord(r.install, 1005); },
            noAnswers, nothingShown,
            {"+install\\first.exe", "+install\\game.exe", "+install\\launch.log", "-patch\\first.exe",
             "-patch\\game.exe", "-patch\\update.txt"},
            {}, "game.exe"},
    CopyRow{"NoneLaunchesNothing", 0, {"game.exe"},
            [](PatchRun& r) { r.putGame("game.exe"); r.setRecord(r.install, 1005); }, noAnswers, nothingShown,
            {"+install\\game.exe", "-patch\\game.exe", "-patch\\update.txt"}, {}, nullptr},
    // The entry is file and command at once: the file "game.exe -x" is copied, game.exe runs with -x.
    CopyRow{"WithArguments", 0, {"game.exe", "RUN game.exe -x"},
            [](PatchRun& r) { r.putGame("game.exe"); r.writePatch("game.exe -x", "x"); r.setRecord(r.install, 1005); },
            noAnswers, nothingShown,
            {"+install\\game.exe", "+install\\game.exe -x", "+install\\launch.log", "-patch\\game.exe",
             "-patch\\game.exe -x", "-patch\\update.txt"},
            {}, "game.exe -x"},
    // Names that merely contain RUN are files, never commands.
    CopyRow{"RunInsideANameIsAFile", 0, {"data\\RUNES.dat"},
            [](PatchRun& r) { r.writePatch("RUNES.dat", "runes"); r.makeInstallFolder("data"); r.setRecord(r.install, 1005); },
            noAnswers, nothingShown, {"+install\\data\\RUNES.dat", "-patch\\RUNES.dat", "-patch\\update.txt"}, {},
            nullptr}),
    [](const testing::TestParamInfo<CopyRow>& info) { return info.param.name; });

}  // namespace

namespace {

struct ExpectedControl {
    int id;
    const char* kind;
    std::string text;
    RECT units;  // x, y, width, height in dialog units
    DWORD style;
};

struct ExpectedDialog {
    const char* caption;
    SIZE units;
    std::vector<ExpectedControl> controls;
};

const DWORD DIALOG_STYLE = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT;
const DWORD CHILD = WS_CHILD | WS_VISIBLE;

// Dialog units of a template in "MS Sans Serif" 8, measured the way the dialog manager does.
SIZE baseUnits()
{
    HDC screen = GetDC(NULL);
    HFONT font = CreateFontA(-MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72), 0, 0, 0, FW_DONTCARE, FALSE, FALSE,
                             FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, "MS Sans Serif");
    HGDIOBJ old = SelectObject(screen, font);
    TEXTMETRICA metrics;
    GetTextMetricsA(screen, &metrics);
    SIZE alphabet;
    GetTextExtentPoint32A(screen, "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ", 52, &alphabet);
    SelectObject(screen, old);
    DeleteObject(font);
    ReleaseDC(NULL, screen);
    return SIZE{(alphabet.cx / 26 + 1) / 2, metrics.tmHeight};
}

RECT toPixels(const RECT& units, SIZE base)
{
    LONG left = MulDiv(units.left, base.cx, 4), top = MulDiv(units.top, base.cy, 8);
    return RECT{left, top, left + MulDiv(units.right, base.cx, 4), top + MulDiv(units.bottom, base.cy, 8)};
}

std::string textOf(HWND window)
{
    char text[1024] = "";
    SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

void expectLiveDialog(DWORD processId, const ExpectedDialog& expected)
{
    HWND dialog = findWindowOf(processId, expected.caption);
    ASSERT_TRUE(dialog) << expected.caption;
    SIZE base = baseUnits();
    RECT client;
    GetClientRect(dialog, &client);
    RECT expectedClient = toPixels(RECT{0, 0, expected.units.cx, expected.units.cy}, base);
    EXPECT_EQ(client.right, expectedClient.right) << expected.caption;
    EXPECT_EQ(client.bottom, expectedClient.bottom) << expected.caption;
    // The dialog manager adds DS_3DLOOK to every Win32 dialog and WS_CLIPSIBLINGS
    // to every top-level window; in a 3-D dialog a control's WS_BORDER is drawn
    // as WS_EX_CLIENTEDGE instead (Windows and Wine alike).
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE)) & ~(WS_CLIPSIBLINGS | DS_3DLOOK), DIALOG_STYLE)
        << expected.caption;

    HWND child = GetWindow(dialog, GW_CHILD);
    for (const ExpectedControl& control : expected.controls) {
        ASSERT_TRUE(child) << expected.caption << ": control " << control.id << " is missing";
        char kind[64] = "";
        GetClassNameA(child, kind, sizeof kind);
        RECT rect;
        GetWindowRect(child, &rect);
        MapWindowPoints(NULL, dialog, reinterpret_cast<POINT*>(&rect), 2);
        RECT expectedRect = toPixels(control.units, base);
        SCOPED_TRACE(std::string(expected.caption) + ": control " + std::to_string(control.id));
        EXPECT_EQ(static_cast<WORD>(GetDlgCtrlID(child)), static_cast<WORD>(control.id));
        EXPECT_EQ(lstrcmpiA(kind, control.kind), 0) << kind;
        EXPECT_EQ(textOf(child), control.text);
        EXPECT_EQ(std::vector<LONG>({rect.left, rect.top, rect.right, rect.bottom}),
                  std::vector<LONG>({expectedRect.left, expectedRect.top, expectedRect.right, expectedRect.bottom}));
        DWORD style = static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE));
        if (GetWindowLongA(child, GWL_EXSTYLE) & WS_EX_CLIENTEDGE)
            style |= WS_BORDER;
        // Wine's themed progress bar drops that edge again; the template check covers its WS_BORDER.
        if (lstrcmpiA(kind, PROGRESS_CLASSA) == 0)
            style |= control.style & WS_BORDER;
        EXPECT_EQ(style, control.style);
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_FALSE(child) << expected.caption << " has more controls than its template";
}

// Reads a text or ordinal field of a DLGTEMPLATE and steps past it.
std::string templateText(const WORD** cursor)
{
    std::string text;
    if (**cursor == 0xFFFF) {
        text = "#" + std::to_string((*cursor)[1]);
        *cursor += 2;
        return text;
    }
    for (; **cursor; (*cursor)++)
        text += static_cast<char>(**cursor);
    (*cursor)++;
    return text;
}

// The template as updater.exe carries it: US English, "MS Sans Serif" 8, and
// each control's style exactly as written.
void expectTemplate(int resource, const ExpectedDialog& expected)
{
    HMODULE program = LoadLibraryExA(joinPath(testProgramFolder(), "updater.exe").c_str(), NULL,
                                     LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(program);
    HRSRC found = FindResourceExA(program, reinterpret_cast<LPCSTR>(RT_DIALOG), MAKEINTRESOURCEA(resource),
                                  MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_TRUE(found) << "no US English template " << resource;
    const auto* dialog = static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(program, found)));
    EXPECT_EQ(dialog->style, DIALOG_STYLE);
    EXPECT_EQ(std::vector<int>({dialog->cx, dialog->cy, dialog->cdit}),
              std::vector<int>({static_cast<int>(expected.units.cx), static_cast<int>(expected.units.cy),
                                static_cast<int>(expected.controls.size())}));
    const WORD* cursor = reinterpret_cast<const WORD*>(dialog + 1);
    templateText(&cursor);  // menu
    templateText(&cursor);  // class
    EXPECT_EQ(templateText(&cursor), expected.caption);
    EXPECT_EQ(*cursor++, 8);
    EXPECT_EQ(templateText(&cursor), "MS Sans Serif");
    for (const ExpectedControl& control : expected.controls) {
        cursor = reinterpret_cast<const WORD*>((reinterpret_cast<UINT_PTR>(cursor) + 3) & ~UINT_PTR(3));
        const auto* item = reinterpret_cast<const DLGITEMTEMPLATE*>(cursor);
        EXPECT_EQ(item->style, control.style) << "template " << resource << ", control " << control.id;
        EXPECT_EQ(static_cast<WORD>(item->id), static_cast<WORD>(control.id));
        cursor = reinterpret_cast<const WORD*>(item + 1);
        templateText(&cursor);
        templateText(&cursor);
        cursor += 1 + (*cursor + 1) / 2;  // creation data
    }
    FreeLibrary(program);
}

// Both dialogs are read while they are up: the path dialog as it asks, the
// copy dialog while a failure notice holds it open on the second of three files.
TEST(LiveDialogs, MatchTheirTemplates)
{
    PatchRun run;
    run.writeScript("1006", "1004", 1, {"a.dat", "b.dat", "c.dat"});
    threeFilesSecondMissing(run);
    run.markBefore();
    int progressPosition = -1;
    ExpectedDialog pathExpected = {PATH_CAPTION, {186, 76}, {
        {IDOK, "Button", "OK", {35, 55, 50, 14}, CHILD | WS_TABSTOP | BS_DEFPUSHBUTTON},
        {IDCANCEL, "Button", "Cancel", {100, 55, 50, 14}, CHILD | WS_TABSTOP | BS_PUSHBUTTON},
        {IDC_STATIC, "Static", "Please enter the installation path:", {5, 10, 170, 10}, CHILD | WS_GROUP | SS_LEFT},
        {IDC_PATH, "Edit", run.install, {5, 25, 175, 12}, CHILD | WS_TABSTOP | WS_BORDER | ES_LEFT | ES_AUTOHSCROLL},
    }};
    ExpectedDialog copyExpected = {"SRVN Updater", {272, 71}, {
        {IDC_COPYING_LABEL, "Static", "Copying file:", {10, 10, 40, 10}, CHILD | WS_GROUP | SS_RIGHT},
        {IDC_SOURCE, "Static", run.patch + "\\b.dat", {55, 10, 205, 10}, CHILD | WS_GROUP | SS_LEFT},
        {IDC_TO_LABEL, "Static", "to:", {20, 25, 29, 7}, CHILD | WS_GROUP | SS_RIGHT},
        {IDC_DESTINATION, "Static", run.install + "\\b.dat", {55, 25, 205, 10}, CHILD | WS_GROUP | SS_LEFT},
        {IDC_PROGRESS, "msctls_progress32", "Generic1", {10, 50, 255, 10}, CHILD | WS_BORDER},
    }};
    std::vector<Answer> answers = {
        {PATH_CAPTION, IDOK, std::nullopt, [&](DWORD id) { expectLiveDialog(id, pathExpected); }},
        {"Sorvane Online Updater", IDYES, std::nullopt,
         [&](DWORD id) {
             expectLiveDialog(id, copyExpected);
             HWND progress = GetDlgItem(findWindowOf(id, "SRVN Updater"), IDC_PROGRESS);
             progressPosition = static_cast<int>(SendMessageA(progress, PBM_GETPOS, 0, 0));
             EXPECT_EQ(SendMessageA(progress, PBM_GETRANGE, FALSE, 0), 3);
         }},
        CLOSE_INCOMPLETE};

    RunOutcome outcome = run.run(answers);

    EXPECT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.unexpected, std::vector<std::string>{});
    EXPECT_EQ(progressPosition, 1) << "one step for the first file, none yet for the failing one";
    EXPECT_EQ(run.changes(), withProgramGone({"+install\\a.dat", "+install\\c.dat", "-patch\\a.dat",
                                              "-patch\\c.dat", "-patch\\update.txt"}));
    expectTemplate(IDD_INSTALL_PATH, pathExpected);
    expectTemplate(IDD_COPY, copyExpected);
}

}  // namespace
