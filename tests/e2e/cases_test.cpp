// Every patch run as a row: script, set-up, record, dialogue, changes, launched command line.
#include <gtest/gtest.h>

#include "harness.h"

namespace {

const char* const R = "path=sz:{install} version=1005";
const char* const GAME = "patch\\game.exe=@game patch\\level1.map=map install\\data\\maps\\";
const char* const TYPICAL = "game.exe\ndata\\maps\\level1.map\nRUN game.exe";
const char* const INSTALLED = "cleaned +install\\game.exe +install\\data\\maps\\level1.map";
const char* const ABC = "patch\\a.dat=a patch\\c.dat=c";
const char* const AB = "patch\\a.dat=newA patch\\b.dat=newB";
const char* const DATA = "patch\\data.dat=new";
const char* const UNPACKED = "unpacked install\\game.exe=@game install\\level1.map=new install\\data\\level1.map=old";
const std::vector<std::string> CONFIRMED = {"path({install}) OK", "complete OK"};
const std::vector<std::string> UP_TO_DATE_NO = {"upToDate No"};

ROWS(Roads,
    Case{"FullMode", std::string("{full}") + TYPICAL, GAME, R, CONFIRMED, std::string(INSTALLED) + " ~version=1006", "game.exe"},
    Case{"QuietMode", std::string("{quiet}") + TYPICAL, GAME, R, {}, INSTALLED, "game.exe"},
    Case{"NoEntries", "{full}", DATA, R, CONFIRMED, "-patch\\update.txt ~version=1006", ""},
    Case{"SubFolderMissing", "{full}data\\maps\\level1.map", "patch\\level1.map=map", R, {"path({install}) OK", "copyFailed({install}\\data\\maps\\level1.map,3,0/1) Yes", "incomplete(1,1) OK"}, "", ""},
    Case{"SecondFailsYes", "{full}a.dat\nb.dat\nc.dat", ABC, R, {"path({install}) OK", "copyFailed({install}\\b.dat,2,1/3) Yes", "incomplete(1,3) OK"}, "+install\\a.dat +install\\c.dat", ""},
    Case{"SecondFailsNo", "{full}a.dat\nb.dat\nc.dat", ABC, R, {"path({install}) OK", "copyFailed({install}\\b.dat,2,1/3) No", "incomplete(2,3) OK"}, "+install\\a.dat", ""},
    Case{"SecondFailsQuietMode", "{quiet}a.dat\r\nb.dat\r\nRUN game.exe\r\n", "patch\\a.dat=a patch\\game.exe=@game", R, {"copyFailed({install}\\b.dat,2,1/3) Yes"}, "+install\\a.dat +install\\game.exe", ""},
    // An incomplete copy keeps the whole patch and launches nothing; run again, it finishes the job.
    Case{"GameHeldOpenYes", "{full}a.dat\nRUN game.exe\nb.dat", std::string(AB) + " patch\\game.exe=@game locked:install\\game.exe=@game", R, {"path({install}) OK", "copyFailed({install}\\game.exe,32,1/3) Yes", "incompleteInUse(1,3) OK"}, "+install\\a.dat +install\\b.dat", ""},
    Case{"GameHeldOpenNo", "{full}a.dat\nRUN game.exe\nb.dat", std::string(AB) + " patch\\game.exe=@game locked:install\\game.exe=@game", R, {"path({install}) OK", "copyFailed({install}\\game.exe,32,1/3) No", "incompleteInUse(2,3) OK"}, "+install\\a.dat", ""},
    Case{"RunAgainOnceTheGameIsClosed", "{full}a.dat\nRUN game.exe", "patch\\a.dat=a patch\\game.exe=@game locked:install\\game.exe=old", R, {"path({install}) OK", "copyFailed({install}\\game.exe,32,1/2) Yes", "incompleteInUse(1,2) OK", "again", "path({install}) OK", "complete OK"}, "cleaned +install\\a.dat ~install\\game.exe ~version=1006", "game.exe"},
    // Any mode line but 0 is full mode.
    Case{"ModeMinusOneIsFull", "{key}\n1006\n1004\n-1\ndata.dat", DATA, R, CONFIRMED, "cleaned +install\\data.dat ~version=1006", ""},
    Case{"ModeTwoIsFull", "{key}\n1006\n1004\n2\ndata.dat", DATA, R, CONFIRMED, "cleaned +install\\data.dat ~version=1006", ""},
    // A close during a long copy ends the dialog only once every entry is copied; the run goes on after it.
    Case{"CloseDuringTheCopy", "{full}big.bin\nb.dat", "patch\\big.bin=@size:268435456 patch\\b.dat=b", R, {"path({install}) OK", "copy Close", "complete OK"}, "cleaned +install\\big.bin +install\\b.dat ~version=1006", ""});

ROWS(PathDialog,
    Case{"OkWithNewFolder", "{full}data.dat", "patch\\data.dat=new other\\", R, {"path({install}) OK={root}\\other", "complete OK"}, "cleaned +other\\data.dat ~version=1006", ""},
    Case{"OkOnEmptiedField", "{full}data.dat", DATA, R, {"path({install}) OK="}, "cleaned", ""},
    Case{"Cancel", "{full}data.dat", DATA, R, {"path({install}) Cancel"}, "cleaned", ""},
    Case{"CloseBoxDiscardsEdit", "{full}data.dat", "patch\\data.dat=new other\\", R, {"path({install}) Close={root}\\other", "complete OK"}, "cleaned +install\\data.dat ~version=1006", ""},
    // The field takes 259 characters, whole: with the file name the path is too long to copy to.
    // The game starts from the folder the player typed, never from the record's.
    Case{"LaunchesFromTheTypedFolder", "{full}RUN game.exe", "patch\\game.exe=@game install\\game.exe=@game other\\", R, {"path({install}) OK={root}\\other", "complete OK"}, "cleaned +other\\game.exe ~version=1006", "game.exe"},
    Case{"FieldTakes259Characters", "{full}data.dat", DATA, R, {"path({install}) OK={x*300}", "copyFailed({x*259}\\data.dat,206,0/1) No", "incomplete(1,1) OK"}, "", ""});

ROWS(RunEntries,
    Case{"OnlyTheLastIsLaunched", "{quiet}RUN first.exe\nRUN game.exe", "patch\\first.exe=@game patch\\game.exe=@game", R, {}, "cleaned +install\\first.exe +install\\game.exe", "game.exe"},
    // File and command at once: the file "game.exe -x" is copied, game.exe runs with -x.
    Case{"WithArguments", "{quiet}game.exe\nRUN game.exe -x", "patch\\game.exe=@game \"patch\\game.exe -x=x\"", R, {}, "cleaned +install\\game.exe \"+install\\game.exe -x\"", "game.exe -x"},
    // ".\game.exe" is the installed game too, never the patch folder's (the current folder).
    Case{"DotBackslashIsTheInstalledProgram", "{quiet}RUN .\\game.exe -x", "patch\\game.exe=@game \"patch\\game.exe -x=x\" install\\game.exe=@game", R, {}, "-patch\\update.txt \"-patch\\game.exe -x\" \"+install\\game.exe -x\"", ".\\game.exe -x"},
    // A game whose manifest asks for administrator rights is started (Windows asks; Wine starts it as it is).
    Case{"GameAskingForAdministratorRights", "{quiet}RUN game.exe", "patch\\game.exe=@admingame", R, {}, "cleaned +install\\game.exe", "game.exe"},
    // A program named without its extension is the installation's game.exe (the file "game" is installed too).
    Case{"RunWithoutExtension", "{quiet}RUN game", "patch\\game=g install\\game.exe=@game", R, {}, "cleaned +install\\game", "game"},
    // The program is looked for in the installation only: a namesake in the system folder never starts.
    Case{"ProgramMissingFromTheInstallation", "{quiet}RUN notepad.exe -x", "\"patch\\notepad.exe -x=x\"", R, {}, "cleaned \"+install\\notepad.exe -x\"", ""},
    Case{"RunInsideANameIsAFile", "{quiet}data\\RUNES.dat", "patch\\RUNES.dat=runes install\\data\\", R, {}, "cleaned +install\\data\\RUNES.dat", ""});

// The record and the version gate. A version value is read from whatever bytes it holds, up
// to 4; each patch version there equals the value as it should read, so a right read asks.
ROWS(Record,
    Case{"TooOld", "{full}data.dat", DATA, "path=sz:{install} version=1003", {"tooOld OK"}, "cleaned", ""},
    Case{"Newer", "{full}data.dat", DATA, "path=sz:{install} version=1007", {"newer OK"}, "cleaned", ""},
    Case{"UpToDateNo", "{full}data.dat", DATA, "path=sz:{install} version=1006", UP_TO_DATE_NO, "cleaned", ""},
    Case{"UpToDateYes", "{full}data.dat", DATA, "path=sz:{install} version=1006", {"upToDate Yes", "path({install}) OK", "complete OK"}, "cleaned +install\\data.dat", ""},
    Case{"NoVersionValues", "{full}data.dat", DATA, "path=sz:{install}", {"versionMissing OK"}, "cleaned", ""},
    // "beta" reads as 0: one build ahead of -1, and stamped as 0.
    Case{"NonNumericStampsZero", "{key}\nbeta\n1004\n1\ndata.dat", DATA, "path=sz:{install} version=4294967295", CONFIRMED, "cleaned +install\\data.dat ~version=0", ""},
    Case{"OnlyVer", "{full}data.dat", DATA, "path=sz:{install} ver=1005", CONFIRMED, "cleaned +install\\data.dat +version=1006", ""},
    Case{"VersionBeforeVer", "{full}data.dat", DATA, "path=sz:{install} version=1006 ver=1005", UP_TO_DATE_NO, "cleaned", ""},
    Case{"OneCharacterText", "{key}\n55\n1004\n1\n", "", "path=sz:{install} version=sz:7", UP_TO_DATE_NO, "cleaned", ""},
    Case{"LongTextFallsBackToVer", "{key}\n1004\n1\n1\n", "", "path=sz:{install} version=sz:1006 ver=1004", UP_TO_DATE_NO, "cleaned", ""},
    Case{"MissingKey", "{key}\\Absent\n1006\n1004\n1\ndata.dat", DATA, R, {"recordMissing OK"}, "cleaned", ""},
    Case{"NoPathQuietModeEndsSilently", "{quiet}data.dat", DATA, "version=1005", {}, "cleaned", ""},
    Case{"NoPathFullModeShowsEmptyField", "{full}data.dat", DATA, "version=1005", {"path() OK"}, "cleaned", ""},
    Case{"PathOf259Characters", "{quiet}data.dat", DATA, "path=sz:{x*259}", {"copyFailed({x*259}\\data.dat,206,0/1) No"}, "", ""},
    Case{"PathOf260IsNotCut", "{full}data.dat", DATA, "path=sz:{x*260} version=1005", {"path() OK"}, "cleaned", ""},
    // A path that is not a string is 8-bit text in the ANSI code page (1252): donn\xE9es is données.
    Case{"PathOfAnotherTypeInCodePage1252", "{quiet}data.dat", "patch\\data.dat=new install\\données\\", "path=raw:{install}\\donn\xe9" "es", {}, "cleaned +install\\données\\data.dat", ""},
    // Some installers write the folder as an expandable string: it is a string all the same.
    Case{"PathOfTypeExpandSz", "{quiet}data.dat", DATA, "path=expand:{install}", {}, "cleaned +install\\data.dat", ""},
    Case{"UnterminatedPath", "{quiet}data.dat", DATA, "path=raw:{install}", {}, "cleaned +install\\data.dat", ""},
    Case{"NestedKey", "{key}\\Nested\\Deeper\n1006\n1004\n1\ndata.dat", DATA, "Nested\\Deeper\\path=sz:{install} Nested\\Deeper\\version=1005", CONFIRMED, "cleaned +install\\data.dat ~Nested\\Deeper\\version=1006", ""});

// Faults a real installation meets, and hostile scripts: each ends cleanly, tells the user, and
// writes nothing outside the installation (entries that would leave it fail with error 161).
ROWS(Faults,
    Case{"HeldOpen", "{quiet}a.dat\nb.dat", std::string(AB) + " locked:install\\a.dat=oldA", R, {"copyFailed({install}\\a.dat,32,0/2) Yes"}, "+install\\b.dat", ""},
    Case{"IsAFolder", "{quiet}a.dat\nb.dat", std::string(AB) + " install\\a.dat\\", R, {"copyFailed({install}\\a.dat,5,0/2) Yes"}, "+install\\b.dat", ""},
    // Wine running as root would overwrite a read-only file; the updater refuses, as Windows does.
    Case{"ReadOnly", "{quiet}a.dat\nb.dat", std::string(AB) + " readonly:install\\a.dat=oldA", R, {"copyFailed({install}\\a.dat,5,0/2) Yes"}, "+install\\b.dat", ""},
    // The player's own copy refused with error 5: the usual advice, not the administrator's.
    Case{"ReadOnlyFullMode", "{full}a.dat\nb.dat", std::string(AB) + " readonly:install\\a.dat=oldA", R, {"path({install}) OK", "copyFailed({install}\\a.dat,5,0/2) Yes", "incomplete(1,2) OK"}, "+install\\b.dat", ""},
    Case{"MissingSourceOverReadOnly", "{quiet}c.dat\nb.dat", "patch\\b.dat=b readonly:install\\c.dat=old", R, {"copyFailed({install}\\c.dat,2,0/2) Yes"}, "+install\\b.dat", ""},
    Case{"MissingSubFolder", "{quiet}sub\\a.dat\nb.dat", AB, R, {"copyFailed({install}\\sub\\a.dat,3,0/2) Yes"}, "+install\\b.dat", ""},
    Case{"PathOver259Characters", "{quiet}{n*240}\nb.dat", "patch\\b.dat=b", R, {"copyFailed({install}\\{n*240},206,0/2) Yes"}, "+install\\b.dat", ""},
    Case{"LeavingTheInstallation", "{quiet}..\\a.dat\ndata/../../a.dat\n...\\a.dat\nC:\\a.dat\n\\a.dat\nx:a.dat\nb.dat", AB, R,
         {"copyFailed({install}\\..\\a.dat,161,0/7) Yes", "copyFailed({install}\\data/../../a.dat,161,1/7) Yes", "copyFailed({install}\\...\\a.dat,161,2/7) Yes", "copyFailed({install}\\C:\\a.dat,161,3/7) Yes", "copyFailed({install}\\\\a.dat,161,4/7) Yes", "copyFailed({install}\\x:a.dat,161,5/7) Yes"}, "+install\\b.dat", ""},
    // The same entries on a road that cleans: only the patch folder's own files go, never {root}\a.dat.
    Case{"LeavingTheInstallationRefused", "{full}..\\a.dat\ndata/../../a.dat\n...\\a.dat\nC:\\a.dat\n\\a.dat\nx:a.dat\nb.dat", std::string(AB) + " a.dat=outside", "path=sz:{root}\\games\\x version=1003", {"tooOld OK"}, "cleaned", ""},
    // Two files alike in size, attributes and times are still two files: the patch's is copied.
    Case{"SameSizeAndTimes", "{quiet}a.dat", "sametimes patch\\a.dat=x install\\a.dat=y", R, {}, "cleaned ~install\\a.dat", ""},
    Case{"ListsItsOwnFiles", "{quiet}update.txt\nupdater.exe", "", R, {}, "cleaned +install\\update.txt +install\\updater.exe", ""},
    Case{"NulEndsAnEntry", "{quiet}b.dat{nul}a.dat", AB, R, {}, "-patch\\update.txt -patch\\b.dat +install\\b.dat", ""},
    Case{"LineOfThousandsOfCharacters", "{quiet}{n*700}", "", R, {"copyFailed({install}\\{n*259},206,0/3) No"}, "", ""},
    Case{"MissingScript", "-", "patch\\game.exe=game patch\\readme.txt=keep", R, {"notFound({patch}\\update.txt) OK"}, "", ""},
    Case{"FiftyEntriesFit", "{quiet}{f.dat\n# comments take no slot\n*50}", "patch\\f.dat=f", R, {}, "cleaned +install\\f.dat", ""},
    Case{"FiftyOneAreRefused", "{quiet}{f.dat\n*51}", "patch\\f.dat=f", R, {"tooMany({patch}\\update.txt) OK"}, "-patch\\update.txt", ""},
    Case{"OneMebibyteOfComments", "{quiet}{;ccccccccccccccccccccccccccccccccccccccccccccccccccccccccccccc\n*16500}a.dat\nb.dat", AB, R, {}, "cleaned +install\\a.dat +install\\b.dat", ""},
    // A drive's root: the cleanup acts on the root, never on the drive's current directory (P:\sub).
    Case{"DriveRoot", "{quiet}a.dat", "driveroot a.dat=rootA sub\\a.dat=subA sub\\update.txt=decoy", R, {}, "-update.txt -a.dat +install\\a.dat", ""},
    // System DLLs and a shell planted beside the program are never loaded or run: a marker loaded leaves
    // "<name>.loaded". Under Wine only with WINEDLLOVERRIDES=comctl32=n,b, as ctest runs it.
    Case{"PlantedDllsAndShell", "{full}data.dat", "patch\\data.dat=d patch\\comctl32.dll=@marker patch\\uxtheme.dll=@marker patch\\version.dll=@marker patch\\dwmapi.dll=@marker patch\\cmd.exe=@game", R, CONFIRMED, "-patch\\update.txt -patch\\data.dat +install\\data.dat ~version=1006", ""});

// A patch unpacked into the game folder: the installed files are the patch files themselves.
ROWS(Unpacked,
    Case{"QuietMode", "{quiet}game.exe\ndata\\level1.map\nRUN game.exe", UNPACKED, R, {}, "-install\\update.txt -install\\level1.map ~install\\data\\level1.map", "game.exe"},
    Case{"RefusedAsTooOld", "{full}RUN game.exe", "unpacked install\\game.exe=@game", "path=sz:{install} version=1003", {"tooOld OK"}, "-install\\update.txt", ""},
    Case{"Cancelled", "{full}game.exe\ndata\\level1.map", UNPACKED, R, {"path({install}) Cancel"}, "-install\\update.txt -install\\level1.map", ""},
    // Identity, not text: another case and a "." component name the same file.
    Case{"OtherSpelling", "{full}GAME.EXE", "unpacked install\\game.exe=@game", R, {"path({install}) OK={install}\\.", "complete OK"}, "-install\\update.txt ~version=1006", ""},
    Case{"RefusedWhileTheRecordSpellsItOtherwise", "{full}game.exe\nRUN game.exe", "unpacked install\\game.exe=@game", "path=sz:{root}\\INSTALL\\. version=1003", {"tooOld OK"}, "-install\\update.txt", ""},
    // Unpacked into the folder typed in the path dialog, while the record names another.
    Case{"IntoTheTypedFolder", "{full}game.exe", "unpacked install\\game.exe=@game other\\", "path=sz:{root}\\other version=1005", {"path({root}\\other) OK={install}", "complete OK"}, "-install\\update.txt ~version=1006", ""});

// Each file is replaced whole or not at all, a patch that cannot fit changes nothing, one run at a
// time. "smalldrive" puts both folders on S:, a drive of 4 MiB; "@data:N" writes N bytes there.
const char* const FULL_DRIVE = "smalldrive patch\\a.dat=a patch\\big.dat=@data:1600000 install\\big.dat=@data:1000000";
const char* const CUT_OFF = "patch\\big.bin=@size:268435456 install\\big.bin=@size:67108864";
const char* const FIVE = "patch\\a.dat=newA patch\\b.dat=newB patch\\c.bin=@size:268435456 patch\\d.dat=newD patch\\e.dat=newE "
                        "install\\a.dat=oldA install\\b.dat=oldB install\\c.bin=oldC install\\d.dat=oldD install\\e.dat=oldE";
ROWS(WholeFiles,
    // 1.6 MB replaces 1 MB where 1.4 MB is free: the new file would lie beside the old one.
    Case{"DiskFullRefusedBeforeAnything", "{full}a.dat\nbig.dat\nRUN a.dat", FULL_DRIVE, R, {"path({install}) OK", "noSpace({install},1.6,1.4) OK"}, "", ""},
    Case{"DiskFullQuietMode", "{quiet}a.dat\nbig.dat", FULL_DRIVE, R, {"noSpace({install},1.6,1.4) OK"}, "", ""},
    // The disk fills up while a notice holds the copy: the installed file stays whole, no temporary file remains.
    Case{"DiskFillsDuringTheCopy", "{full}missing.dat\nbig.dat", "smalldrive patch\\big.dat=@data:1000000 install\\big.dat=@data:500000", R,
         {"path({install}) OK", "lay:install\\fill.bin=@data:2600000", "copyFailed({install}\\missing.dat,2,0/2) Yes", "copyFailed({install}\\big.dat,112,1/2) Yes", "incompleteDiskFull(2,2) OK"}, "+install\\fill.bin", ""},
    // Ended while a file is copied: the installed file is the old one, whole; run again, the update completes.
    Case{"CutOff", "{quiet}big.bin", CUT_OFF, R, {"copy Kill"}, "+install\\big.bin.updating", ""},
    Case{"CutOffThenRunAgain", "{quiet}big.bin", CUT_OFF, R, {"copy Kill", "again"}, "cleaned ~install\\big.bin", ""},
    Case{"StartedTwice", "{full}data.dat", DATA, R, {"twice", "running OK", "path({install}) OK", "complete OK"}, "cleaned +install\\data.dat ~version=1006", ""},
    // A virus scanner holds a new file for a moment: the copy waits for it.
    Case{"HeldForAMoment", "{quiet}a.dat", "patch\\a.dat=new briefly:install\\a.dat=old", R, {}, "cleaned ~install\\a.dat", ""},
    // Windows' CopyFile refuses a hidden destination as it does a read-only one; Wine would overwrite it.
    Case{"Hidden", "{quiet}a.dat\nb.dat", std::string(AB) + " hidden:install\\a.dat=oldA", R, {"copyFailed({install}\\a.dat,5,0/2) Yes"}, "+install\\b.dat", ""},
    // {fit} makes the destination exactly 259 characters; the name has no extension.
    Case{"DestinationOf259Characters", "{quiet}{fit}", "patch\\{fit}=x", R, {}, "cleaned +install\\{fit}", ""},
    // The patch installs the temporary file's usual name too: the temporary file takes another.
    // Ended while the third of five files is staged: every installed file is the old one; run again, all arrive.
    Case{"CutOffWhileStaging", "{quiet}a.dat\nb.dat\nc.bin\nd.dat\ne.dat", FIVE, R, {"copy Kill:c.bin.updating"}, "+install\\a.dat.updating +install\\b.dat.updating +install\\c.bin.updating", ""},
    Case{"CutOffWhileStagingThenRunAgain", "{quiet}a.dat\nb.dat\nc.bin\nd.dat\ne.dat", FIVE, R, {"copy Kill:c.bin.updating", "again"}, "cleaned ~install\\a.dat ~install\\b.dat ~install\\c.bin ~install\\d.dat ~install\\e.dat", ""},
    // The game starts between the staging and the renames: its file gets the notice, the others arrive.
    Case{"HeldAtRenameTime", "{quiet}a.dat\nmissing.dat\nb.dat", "patch\\a.dat=newA patch\\b.dat=newB install\\a.dat=oldA", R,
         {"lay:locked:install\\a.dat=held", "copyFailed({install}\\missing.dat,2,1/3) Yes", "copyFailed({install}\\a.dat,32,3/3) Yes"}, "~install\\a.dat +install\\b.dat", ""},
    // Windows names ignore case: the temporary file never takes a name the patch installs, in any case.
    Case{"PatchInstallsTheTemporaryNameInAnotherCase", "{quiet}A.DAT.UPDATING\na.dat", "patch\\a.dat=new patch\\A.DAT.UPDATING=mine install\\a.dat=old", R, {}, "cleaned ~install\\a.dat +install\\A.DAT.UPDATING", ""},
    // A held file and a full disk: both pieces of advice.
    Case{"HeldAndDiskFull", "{full}a.dat\nbig.dat", "smalldrive patch\\a.dat=a locked:install\\a.dat=old patch\\big.dat=@data:1000000 install\\big.dat=@data:500000", R,
         {"path({install}) OK", "lay:install\\fill.bin=@data:2800000", "copyFailed({install}\\a.dat,32,0/2) Yes", "copyFailed({install}\\big.dat,112,1/2) Yes", "incompleteBoth(2,2) OK"}, "+install\\fill.bin", ""},
    // The run entry beside its file is one file on the disk: 1.3 MB fits where 1.6 MB is free, twice would not.
    Case{"RunEntryBesideItsFileOnANearlyFullDisk", "{full}big.dat\nRUN big.dat", "smalldrive patch\\big.dat=@data:1300000 install\\big.dat=@data:1200000", R, CONFIRMED, "cleaned ~install\\big.dat ~version=1006", ""},
    Case{"PatchInstallsTheTemporaryName", "{quiet}a.dat.updating\na.dat", "patch\\a.dat=new patch\\a.dat.updating=mine install\\a.dat=old", R, {}, "cleaned ~install\\a.dat +install\\a.dat.updating", ""});

// A folder only an administrator may change: the player's process starts updater.exe again, with
// administrator rights and "/copy-only" (its windows are "elevated"), for the copy alone, and does
// everything else itself. Under Wine every process is an administrator; "protected:" stands for the folder.
const char* const BY_HAND = "\"args:/copy-only '{install}'\" ";
ROWS(Protected,
    // Under Wine the administrator is refused too: the incomplete road, the patch kept, nothing recorded or started.
    Case{"RefusedEvenAsAdministrator", "{full}a.dat\nRUN game.exe", "keyed signed protected:install\\ install\\game.exe=old patch\\a.dat=a patch\\game.exe=@game", R,
         {"path({install}) OK", "elevated copyFailed({install}\\a.dat,5,0/2) Yes", "elevated copyFailed({install}\\game.exe,5,1/2) Yes", "refusedAsAdministrator(2,2) OK"}, "", "",
         "elevating | elevated exit 0x10402 | end 3, 2 of 2 not copied | notice Sorvane Online Updater: The update was not completed | !stamp"},
    // The protection lifted as the copy-only process begins: every file arrives, and the player's process
    // records the version, cleans up, tells the player and starts the game itself.
    Case{"CopiedAsAdministrator", "{full}big.bin\ndata\\a.dat\nRUN game.exe", "keyed signed protected:install\\data\\ install\\game.exe=old patch\\big.bin=@size:268435456 patch\\a.dat=a patch\\game.exe=@game", R,
         {"path({install}) OK", "elevated copy Unprotect", "complete OK"}, "cleaned +install\\big.bin +install\\data\\a.dat ~install\\game.exe ~version=1006", "game.exe",
         "space | elevating | elevated exit 0x10000 | stamp 1006 1 | end 3, 0 of 3 not copied | cleaned | run \"{install}\\game.exe\" error 0"},
    // An updater without the vendor's key never copies with administrator rights: no second process, the patch kept.
    Case{"UnkeyedNeverElevates", "{full}a.dat\nRUN game.exe", "protected:install\\ install\\game.exe=old patch\\a.dat=a patch\\game.exe=@game", R,
         {"path({install}) OK", "cannotElevate({install}) OK"}, "", ""},
    // The switch given by hand: only the copy, within the folder; no record, no cleanup, no launch, no notice.
    Case{"CopyOnlyDoesOnlyTheCopy", "{full}b.dat\nRUN game.exe", std::string(BY_HAND) + "keyed signed install\\game.exe=old patch\\b.dat=b patch\\game.exe=@game", R, {"exitCode(65536)"}, "+install\\b.dat ~install\\game.exe", ""},
    Case{"CopyOnlyWithoutKey", "{quiet}b.dat", std::string(BY_HAND) + "install\\b.dat=old patch\\b.dat=b", R, {"exitCode(327680)"}, "", ""},
    Case{"CopyOnlyWithoutScript", "-", std::string(BY_HAND) + "keyed patch\\a.dat=a", R, {}, "", ""},
    Case{"CopyOnlyUnsigned", "{quiet}b.dat", std::string(BY_HAND) + "keyed install\\b.dat=old patch\\b.dat=b", R, {"notPublishers OK", "exitCode(196608)"}, "", ""},
    Case{"CopyOnlyLoadsNoPlantedDll", "{quiet}data.dat", std::string(BY_HAND) + "keyed signed install\\data.dat=old patch\\data.dat=d patch\\comctl32.dll=@marker patch\\uxtheme.dll=@marker patch\\version.dll=@marker patch\\dwmapi.dll=@marker", R, {"exitCode(65536)"}, "~install\\data.dat", ""},
    // Only into the game's own installation: each of these is refused before anything is written (exit 0x50000),
    // though the patch is signed and each folder holds a file of the patch's name.
    Case{"CopyOnlyIntoWindows", "{quiet}win.ini", "\"args:/copy-only 'C:\\windows'\" keyed signed patch\\win.ini=x", R, {"notInstallation(C:\\windows) OK", "exitCode(327680)"}, "", ""},
    Case{"CopyOnlyIntoSystem32", "{quiet}winver.exe", "\"args:/copy-only 'C:\\windows\\system32'\" keyed signed patch\\winver.exe=x", R, {"notInstallation(C:\\windows\\system32) OK", "exitCode(327680)"}, "", ""},
    Case{"CopyOnlyIntoADriveRoot", "{quiet}session.reg", "\"args:/copy-only 'C:\\'\" keyed signed patch\\session.reg=x", R, {"notInstallation(C:\\) OK", "exitCode(327680)"}, "", ""},
    Case{"CopyOnlyIntoAnotherFolder", "{quiet}b.dat", "\"args:/copy-only '{root}\\other'\" keyed signed other\\ install\\b.dat=old patch\\b.dat=b", R, {"notThisVersion({root}\\other,b.dat) OK", "exitCode(327680)"}, "", ""},
    Case{"CopyOnlyIntoADevicePath", "{quiet}b.dat", "\"args:/copy-only '\\\\?\\{install}'\" keyed signed install\\b.dat=old patch\\b.dat=b", R, {"notInstallation(\\\\?\\{install}) OK", "exitCode(327680)"}, "", ""},
    Case{"CopyOnlyIntoANetworkPath", "{quiet}b.dat", "\"args:/copy-only '\\\\localhost\\c$'\" keyed signed patch\\b.dat=b", R, {"notInstallation(\\\\localhost\\c$) OK", "exitCode(327680)"}, "", ""},
    // Nothing is read or written through a link with administrator rights: here install\data leads outside the game.
    Case{"CopyOnlyThroughALink", "{quiet}data\\evil.dll\nb.dat", std::string(BY_HAND) + "keyed signed install\\b.dat=old outside\\ link:install\\data={root}\\outside patch\\evil.dll=e patch\\b.dat=b", R,
         {"notThisVersion({install},data\\evil.dll) OK", "exitCode(327680)"}, "", ""},
    // Any other command line is a player's start, which reads none.
    Case{"OtherCommandLinesAreNotRead", "{quiet}data.dat", "\"args:/copy-only {install}\" patch\\data.dat=d", R, {}, "cleaned +install\\data.dat", ""});

// Every run with administrator rights is the elevated road, however it was started: "asadmin" starts the
// player's updater.exe as "Run as administrator" does (every other row starts it with the player's limited
// token). It writes only into a folder that the signed manifest proves to be this game's installation at a
// version the patch updates ("oldtree:old" signs the version in {root}\old), never through a link, and
// starts no game as administrator. "unpacked" lays the patch into the installation.
const char* const GENUINE = "keyed install\\game.exe=old install\\a.dat=oldA patch\\a.dat=newA patch\\game.exe=@game";
const char* const RUN_A = "{full}a.dat\nRUN game.exe";
ROWS(Elevated,
    Case{"GenuineInstallationCompletes", RUN_A, std::string("asadmin signed ") + GENUINE, R, CONFIRMED, "cleaned ~install\\a.dat ~install\\game.exe ~version=1006", ""},
    Case{"RerunAfterACutBetweenTwoRenames", RUN_A, "asadmin keyed signed oldtree:old old\\game.exe=old old\\a.dat=oldA install\\game.exe=old install\\a.dat=newA patch\\a.dat=newA patch\\game.exe=@game", R, CONFIRMED, "cleaned ~install\\game.exe ~version=1006", ""},
    Case{"RecordNamesTheSystemFolder", "{quiet}a.dat\nRUN game.exe", std::string("asadmin signed ") + GENUINE, "path=sz:C:\\windows\\system32", {"notInstallation(C:\\windows\\system32) OK"}, "", ""},
    Case{"AnotherProductsFolder", "{quiet}a.dat\nRUN game.exe", std::string("asadmin signed ") + GENUINE + " other\\game.exe=@admingame other\\a.dat=theirs", "path=sz:{root}\\other", {"notThisVersion({root}\\other,a.dat) OK"}, "", ""},
    Case{"AttackersFolderWithTheRunProgram", "{quiet}RUN game.exe", std::string("asadmin signed ") + GENUINE + " mine\\game.exe=mine", "path=sz:{root}\\mine", {"notThisVersion({root}\\mine,game.exe) OK"}, "", ""},
    Case{"NewerInstallationFullMode", RUN_A, "asadmin signed oldtree:old old\\game.exe=old old\\a.dat=oldA keyed install\\game.exe=v1007 install\\a.dat=v1007 patch\\a.dat=newA patch\\game.exe=@game", R, {"path({install}) OK", "notThisVersion({install},a.dat) OK"}, "", ""},
    Case{"NewerInstallationQuietMode", "{quiet}a.dat\nRUN game.exe", "asadmin signed oldtree:old old\\game.exe=old old\\a.dat=oldA keyed install\\game.exe=v1007 install\\a.dat=v1007 patch\\a.dat=newA patch\\game.exe=@game", R, {"notThisVersion({install},a.dat) OK"}, "", ""},
    // A manifest signed without the old versions proves no installation.
    Case{"ManifestWithoutOldVersions", RUN_A, std::string("asadmin signed oldtree:none ") + GENUINE, R, {"path({install}) OK", "noProof({install}) OK"}, "", ""},
    Case{"UnkeyedRefusesToUseTheRights", "{quiet}a.dat", "asadmin patch\\a.dat=a", R, {"cannotUseRights OK"}, "", ""},
    // A signed patch unpacked into the game folder, one file changed at the same size: refused on both roads.
    Case{"UnpackedFileChanged", "{full}a.dat\nRUN game.exe", "keyed signed unpacked install\\a.dat=aaaa install\\game.exe=@game tamper:install\\a.dat=bbbb", R, {"path({install}) OK", "damaged({patch}\\a.dat) OK"}, "", ""},
    Case{"UnpackedFileChangedAsAdministrator", "{full}a.dat\nRUN game.exe", "asadmin keyed signed unpacked install\\a.dat=aaaa install\\game.exe=@game tamper:install\\a.dat=bbbb", R, {"path({install}) OK", "notThisVersion({install},a.dat) OK"}, "", ""},
    // The copy-only process refuses the folder before any copy: the player's run neither completes nor calls it a failed copy.
    Case{"ProtectedFolderNotThisVersion", RUN_A, "signed oldtree:old old\\game.exe=old old\\a.dat=oldA keyed protected:install\\ install\\game.exe=v1007 patch\\a.dat=newA patch\\game.exe=@game", R, {"path({install}) OK", "elevated notThisVersion({install},a.dat) OK"}, "", ""},
    // Judged once, acted on through handles. "openrace:" stands for an opportunistic lock (fanotify, as root): when the
    // copy first opens the patch file, another program swaps a folder for a link to {root}\outside, which stands
    // for the system folder. Nothing is written there: the copy goes on in the folder it judged, or fails.
    Case{"EmptyFolderSwappedForALinkDuringTheCopy", "{quiet}data\\maps\\level1.map\nb.dat", "asadmin keyed signed install\\b.dat=old install\\data\\maps\\ outside\\ patch\\level1.map=map patch\\b.dat=b openrace:patch\\level1.map=install\\data\\maps={root}\\outside", R,
         {"copyFailed({install}\\data\\maps\\level1.map,2,0/2) Yes"}, "~install\\b.dat", ""},
    // Windows would refuse to move the held folder; Wine lets a Unix program move it, and then refuses the rename
    // below it (error 6). install\b.dat is outside's own file, seen through the link, unchanged.
    Case{"InstallationSwappedForALinkDuringTheCopy", "{quiet}b.dat", "asadmin keyed signed install\\b.dat=old outside\\b.dat=theirs patch\\b.dat=b openrace:patch\\b.dat=install={root}\\outside", R,
         {"copyFailed({install}\\b.dat,6,1/1) Yes"}, "+install.moved\\ +install.moved\\b.dat +install.moved\\b.dat.updating ~install\\b.dat", ""},
    // A damaged file met by the copy-only process: it tells the player, and the player's run adds nothing.
    Case{"ProtectedFolderDamagedPatch", "{full}big.bin\ndata\\a.dat\nRUN game.exe", "keyed signed protected:install\\data\\ install\\game.exe=old install\\data\\a.dat=oldA patch\\big.bin=@size:268435456 patch\\a.dat=newA patch\\game.exe=@game tamper:patch\\a.dat=badA", R,
         {"path({install}) OK", "elevated copy Unprotect", "elevated damaged({patch}\\a.dat) OK"}, "", ""},
    // The folder is judged on the handle's final path, never the text typed.
    Case{"CopyOnlyJudgedOnTheFinalPath", "{quiet}b.dat", "\"args:/copy-only 'C:\\windows\\..{installTail}'\" keyed signed install\\b.dat=old patch\\b.dat=b", R, {"exitCode(65536)"}, "~install\\b.dat", ""},
    // An installed file that is a link is never read or written through: Wine shows a Unix link to a file as a plain
    // file, but its final path is the target's.
    Case{"CopyOnlyOverAFileLink", "{quiet}b.dat", std::string(BY_HAND) + "keyed signed oldtree:old old\\b.dat=old outside\\b.dat=old link:install\\b.dat={root}\\outside\\b.dat patch\\b.dat=b", R, {"notThisVersion({install},b.dat) OK", "exitCode(327680)"}, "", ""},
    // An updater without the key, a protected folder of 257 characters: the notice shows it whole.
    Case{"LongProtectedFolderUnkeyed", "{quiet}a", "patch\\a=a protected:install\\{fit2}\\", "path=sz:{install}\\{fit2}", {"cannotElevate({install}\\{fit2}) OK"}, "", ""});

// Any folder name works, whatever the ANSI code page (1252 in the suite); the script is 8-bit
// text read in that code page. "root:name" puts the patch and the installation in a folder of that name.
ROWS(Unicode,
    Case{"PlayersOwnFolder", std::string("{full}") + TYPICAL, std::string("root:Łukasz\\Downloads ") + GAME, R, CONFIRMED, std::string(INSTALLED) + " ~version=1006", "game.exe"},
    Case{"ScriptNotFoundNamesIt", "-", "root:Łukasz", R, {"notFound({patch}\\update.txt) OK"}, "", ""},
    Case{"GreekFolder", std::string("{full}") + TYPICAL, std::string("root:Παιχνίδι ") + GAME, R, CONFIRMED, std::string(INSTALLED) + " ~version=1006", "game.exe"},
    Case{"JapaneseFolderAndAFailure", "{full}a.dat\nb.dat", std::string("root:ゲーム ") + AB + " locked:install\\a.dat=oldA", R, {"path({install}) OK", "copyFailed({install}\\a.dat,32,0/2) Yes", "incompleteInUse(1,2) OK"}, "+install\\b.dat", ""},
    Case{"TypedFolder", "{full}data.dat", "patch\\data.dat=new Παιχνίδι\\", R, {"path({install}) OK={root}\\Παιχνίδι", "complete OK"}, "cleaned +Παιχνίδι\\data.dat ~version=1006", ""},
    Case{"EntryInCodePage1252", "{quiet}donn\xe9" "es\\carte.map", "patch\\carte.map=c install\\données\\", R, {}, "cleaned +install\\données\\carte.map", ""},
    // The patch folder's own game.exe is never started: the installed one is.
    Case{"LaunchesTheInstalledProgram", "{quiet}RUN game.exe -x", "patch\\game.exe=@game \"patch\\game.exe -x=x\" install\\game.exe=@game", R, {}, "-patch\\update.txt \"-patch\\game.exe -x\" \"+install\\game.exe -x\"", "game.exe -x"});

// Signed patches. "keyed" runs the updater.exe built with the tests' vendor key; "signed" has
// patchtool sign the patch with that key ("signed:other" with another); "tamper:" items are laid
// out after the signing, "later:" ones while the copy runs ("copy Tamper"). A patch that is not
// the publisher's, or whose files differ from its manifest, changes nothing and keeps the patch.
const char* const SIGNED = "keyed signed patch\\a.dat=a patch\\b.dat=b";
const char* const AB_SCRIPT = "a.dat\nb.dat";
const std::vector<std::string> PATH_DAMAGED_B = {"path({install}) OK", "damaged({patch}\\b.dat) OK"};
ROWS(Signed,
    Case{"KeyedFullMode", std::string("{full}") + AB_SCRIPT, SIGNED, R, CONFIRMED, "cleaned +install\\a.dat +install\\b.dat ~version=1006", ""},
    Case{"KeyedQuietMode", std::string("{quiet}") + AB_SCRIPT + "\nRUN game.exe", std::string(SIGNED) + " patch\\game.exe=@game", R, {}, "cleaned +install\\a.dat +install\\b.dat +install\\game.exe", "game.exe"},
    Case{"KeyedUnsigned", std::string("{quiet}") + AB_SCRIPT, "keyed patch\\a.dat=a patch\\b.dat=b", R, {"notPublishers OK"}, "", ""},
    Case{"KeyedSignedWithAnotherKey", std::string("{full}") + AB_SCRIPT, "keyed signed:other patch\\a.dat=a patch\\b.dat=b", R, {"notPublishers OK"}, "", ""},
    Case{"KeyedSignatureChanged", std::string("{full}") + AB_SCRIPT, std::string(SIGNED) + " tamper:sig", R, {"notPublishers OK"}, "", ""},
    Case{"KeyedOneByteChanged", std::string("{full}") + AB_SCRIPT, std::string(SIGNED) + " tamper:patch\\b.dat=c", R, PATH_DAMAGED_B, "", ""},
    Case{"KeyedListedFileMissing", std::string("{full}") + AB_SCRIPT, std::string(SIGNED) + " tamper:-patch\\b.dat", R, {"damaged({patch}\\b.dat) OK"}, "", ""},
    Case{"KeyedEntryAddedAfterSigning", std::string("{full}") + AB_SCRIPT, std::string(SIGNED) + " \"tamper:patch\\update.txt={full}a.dat\nb.dat\nevil.dll\" tamper:patch\\evil.dll=e", R, {"damaged({patch}\\update.txt) OK"}, "", ""},
    // Swapped after the check, while an earlier file is copied: what is installed is what was verified.
    Case{"KeyedFileSwappedDuringTheCopy", "{quiet}big.bin\nb.dat", "keyed signed patch\\big.bin=@size:100000000 patch\\b.dat=b later:patch\\b.dat=c", R, {"copy Tamper", "damaged({patch}\\b.dat) OK"}, "~patch\\b.dat", ""},
    // Without a key: a patch with no manifest installs as before (every other group); one whose files differ from it does not.
    Case{"UnkeyedFileCutShort", std::string("{quiet}") + AB_SCRIPT, "signed patch\\a.dat=a patch\\b.dat=bbbb tamper:patch\\b.dat=bb", R, {"damaged({patch}\\b.dat) OK"}, "", ""},
    Case{"UnkeyedOneByteChanged", std::string("{full}") + AB_SCRIPT, "signed patch\\a.dat=a patch\\b.dat=b tamper:patch\\b.dat=c", R, PATH_DAMAGED_B, "", ""},
    Case{"UnkeyedSignedCompletes", std::string("{full}") + AB_SCRIPT, "signed patch\\a.dat=a patch\\b.dat=b", R, CONFIRMED, "cleaned +install\\a.dat +install\\b.dat ~version=1006", ""},
    // Every file listed as it is, the signature line gone: not the publisher's all the same.
    Case{"KeyedManifestWithoutSignature", std::string("{full}") + AB_SCRIPT, std::string(SIGNED) + " tamper:nosig", R, {"notPublishers OK"}, "", ""},
    // The script edited after signing at its own length: its bytes are compared, not its size.
    Case{"KeyedScriptEditedAtItsLength", std::string("{full}") + AB_SCRIPT, std::string(SIGNED) + " \"tamper:patch\\update.txt={full}a.dat\nc.dat\" tamper:patch\\c.dat=c", R, {"damaged({patch}\\update.txt) OK"}, "", ""},
    // A manifest that cannot be read is a damaged patch, not an unsigned one.
    Case{"UnkeyedManifestUnreadable", std::string("{quiet}") + AB_SCRIPT, "signed patch\\a.dat=a patch\\b.dat=b \"tamper:patch\\update.manifest=sorvane patch manifest 1\nbroken\"", R, {"damaged({patch}\\update.manifest) OK"}, "", ""},
    // Two digests that both begin with a zero byte differ after it: a digest is compared whole.
    Case{"KeyedDigestsBeginningWithZero", "{quiet}a.dat", "keyed signed patch\\a.dat=@zerohash:0 tamper:patch\\a.dat=@zerohash:1", R, {"damaged({patch}\\a.dat) OK"}, "", ""},
    // Several MiB whose pieces all differ: each piece is hashed as it is written, in order.
    Case{"KeyedLargeFileOfDifferingPieces", "{quiet}big.bin", "keyed signed patch\\big.bin=@random:5000000 install\\big.bin=old", R, {}, "cleaned ~install\\big.bin", ""});

// The log of each road, in the player's temporary folder: the lines that matter for it, in order ("!"
// before a piece: nowhere in the log); the elevated road's are in the group Protected. Every row of
// every group also checks that each run of the player's process wrote one log, the copy-only process
// none, and that the newest ten are kept.
const char* const VENDOR_KEY = "key SHA256:3506a3a64d03392ddf0088d90a3f82995531706e0541a939ae56f916850dfe4f patch \"{patch}\"";
ROWS(Log,
    Case{"Complete", std::string("{full}") + TYPICAL, GAME, R, CONFIRMED, std::string(INSTALLED) + " ~version=1006", "game.exe",
         "key none patch \"{patch}\" | script | bytes key \"{key}\" version 1006 minimum 1004 mode 1 entries 3 run \"game.exe\" | "
         "manifest none | record path \"{install}\" | record version 1005 1 | version check 102 | path dialog \"{install}\" | space | "
         "entry 2 staged \"data\\maps\\level1.map\" 3 bytes, error 0 | renaming | entry 2 renamed | entry 3 renamed \"game.exe\" | "
         "stamp 1006 1 | end 2, 0 of 3 not copied | cleaned 3 | notice Success: Installation complete | run \"{install}\\game.exe\" error 0 | done"},
    Case{"Refused", "{quiet}a.dat", "keyed patch\\a.dat=a", R, {"notPublishers OK"}, "", "",
         std::string(VENDOR_KEY) + " | notice Sorvane Online Updater: This update does not come from the game's publisher | end 1, 0 of 1 | !entry | done"},
    Case{"Cancelled", "{full}data.dat", DATA, R, {"path({install}) Cancel"}, "cleaned", "", "path dialog \"\" | end 0, 0 of 1 not copied | cleaned 2 | !entry | done"},
    Case{"Incomplete", "{full}a.dat\nb.dat\nc.dat", ABC, R, {"path({install}) OK", "copyFailed({install}\\b.dat,2,1/3) Yes", "incomplete(1,3) OK"}, "+install\\a.dat +install\\c.dat", "",
         "entry 1 staged \"a.dat\" 1 bytes, error 0 | entry 2 failed \"b.dat\" 0 bytes, error 2 | notice Sorvane Online Updater: Failed on copy | answer 6 | "
         "entry 3 staged | renaming | entry 1 renamed | entry 3 renamed | end 2, 1 of 3 not copied | notice Sorvane Online Updater: The update was not completed | !cleaned"},
    Case{"Damaged", std::string("{full}") + AB_SCRIPT, std::string(SIGNED) + " tamper:patch\\b.dat=c", R, PATH_DAMAGED_B, "", "",
         std::string(VENDOR_KEY) + " | manifest listed 3 old 2 signed 1 | entry 1 staged \"a.dat\" 1 bytes | entry 2 failed \"b.dat\" 1 bytes, error 536870913 | "
         "notice Sorvane Online Updater: The update's file {patch}\\b.dat is damaged | end 1, 2 of 2 | !renaming"},
    // Ended while staging: the log tells how far the run came.
    Case{"CutOff", "{quiet}a.dat\nb.dat\nc.bin\nd.dat\ne.dat", FIVE, R, {"copy Kill:c.bin.updating"}, "+install\\a.dat.updating +install\\b.dat.updating +install\\c.bin.updating", "",
         "entry 1 staged | entry 2 staged | !renaming | !end | !done"},
    // Without a temporary folder there is no log, and nothing else changes: no notice names one.
    Case{"NoTemporaryFolder", "{full}a.dat\nb.dat\nc.dat", std::string(ABC) + " notemp", R, {"path({install}) OK", "copyFailed({install}\\b.dat,2,1/3) Yes", "incomplete(1,3) OK"}, "+install\\a.dat +install\\c.dat", ""},
    // Ten logs kept: the eleventh run removes the oldest, and more than ten leave the newest.
    Case{"EleventhRunRemovesTheOldest", "{quiet}data.dat", std::string(DATA) + " oldlogs:10", R, {}, "cleaned +install\\data.dat", ""},
    Case{"MoreThanTenLeaveTheNewest", "{quiet}data.dat", std::string(DATA) + " oldlogs:13", R, {}, "cleaned +install\\data.dat", ""},
    Case{"RunTwiceKeepsTen", "{quiet}a.dat\nRUN game.exe", "patch\\a.dat=a patch\\game.exe=@game locked:install\\game.exe=old oldlogs:10", R,
         {"copyFailed({install}\\game.exe,32,1/2) Yes", "again"}, "cleaned +install\\a.dat ~install\\game.exe", "game.exe"});

// Deltas: "built:MODE:OLD,..." has patchtool.exe build the patch from those trees and {root}\new;
// a changed file that every OLD holds ships as a VCDIFF delta from each old version.
const char* const MUSIC = "keyed install\\music.pak=@random:300000 install\\readme.txt=r new\\music.pak=@random:300000+v2 new\\readme.txt=r";
ROWS(Deltas,
    Case{"QuietMode", "-", std::string(MUSIC) + " built:quiet:install", R, {}, "cleaned ~install\\music.pak", ""},
    Case{"FullMode", "-", std::string(MUSIC) + " built:full:install", R, CONFIRMED, "cleaned ~install\\music.pak ~version=1006", "",
         "entry 1 staged \"music.pak\" 300002 bytes, error 0 | renaming | entry 1 renamed"},
    // A cumulative patch, one delta from each version, over either of them.
    Case{"CumulativeOverTheFirst", "-", "keyed install\\music.pak=@random:300000 v2\\music.pak=@random:300000+b new\\music.pak=@random:300000+bc built:quiet:install,v2", R, {}, "cleaned ~install\\music.pak", ""},
    Case{"CumulativeOverTheSecond", "-", "keyed v1\\music.pak=@random:300000 install\\music.pak=@random:300000+b new\\music.pak=@random:300000+bc built:quiet:v1,install", R, {}, "cleaned ~install\\music.pak", ""},
    // The player's file is no version the patch knows: told before anything changes, the patch kept.
    Case{"InstalledFileMatchesNoBase", "-", "keyed v1\\music.pak=@random:300000 install\\music.pak=@random:300000+mine new\\music.pak=@random:300000+v2 built:full:v1", R,
         {"path({install}) OK", "noBase({install}\\music.pak) OK"}, "", ""},
    Case{"DeltaChangedAfterSigning", "-", std::string(MUSIC) + " built:full:install tamper:vcdiff", R, {"path({install}) OK", "damaged({patch}\\music.pak) OK"}, "", ""},
    // What a delta gives is compared with the manifest all the same: an unkeyed updater, whose manifest
    // a hand may change, refuses a new file that differs from the one listed.
    Case{"ResultDiffersFromTheManifest", "-", "install\\music.pak=@random:300000 new\\music.pak=@random:300000+v2 built:full:install tamper:newline", R,
         {"path({install}) OK", "damaged({patch}\\music.pak) OK"}, "", ""},
    // With administrator rights, both ways there: the installed file read and replaced below the held
    // folder; one that is no version the patch knows is refused by the proof before anything is read.
    Case{"RunAsAdministrator", "-", "keyed asadmin install\\music.pak=@random:300000 new\\music.pak=@random:300000+v2 built:full:install", R, CONFIRMED, "cleaned ~install\\music.pak ~version=1006", ""},
    Case{"RunAsAdministratorOverAnotherVersion", "-", "keyed asadmin v1\\music.pak=@random:300000 install\\music.pak=@random:300000+mine new\\music.pak=@random:300000+v2 built:full:v1", R,
         {"path({install}) OK", "notThisVersion({install},music.pak) OK"}, "", ""},
    Case{"ThroughTheElevatedCopy", "-", "keyed protected:install\\data\\ install\\data\\music.pak=@random:300000 new\\data\\music.pak=@random:300000+v2 new\\big.bin=@size:67108864 built:full:install", R,
         {"path({install}) OK", "elevated copy Unprotect", "complete OK"}, "cleaned +install\\big.bin ~install\\data\\music.pak ~version=1006", ""},
    // Ended while a delta is decoded: the installed file is the old one; run again, the update completes.
    Case{"CutOffWhileDecoding", "-", "keyed install\\big.bin=@size:67108864 new\\big.bin=@size:67108864+x built:quiet:install", R, {"copy Kill:big.bin.updating"}, "+install\\big.bin.updating", ""},
    Case{"CutOffWhileDecodingThenRunAgain", "-", "keyed install\\big.bin=@size:67108864 new\\big.bin=@size:67108864+x built:quiet:install", R, {"copy Kill:big.bin.updating", "again"}, "cleaned ~install\\big.bin", ""});

}  // namespace
