#pragma once
// End-to-end harness: lays out a patch folder, an installation and a registry record from a case,
// starts the real updater.exe, answers each window by caption and control id, and compares what it
// showed, the whole folder tree, the record and what it launched with what the case expects. In any
// text {root}, {patch}, {install} ({installTail}: without its drive), {key}, {nul} stand for this run's values; {quiet} and {full} for
// the usual header ({key}, 1006, 1004, mode); {text*N} repeats text N times; {fit} ({fit2}) is a name that
// makes {install}\name 259 (257) characters.
#include <gtest/gtest.h>

#include <string>
#include <vector>

struct Case {
    const char* name;
    std::string script;  // "update.txt"; "-" writes none
    // "patch\a.dat=text", "=@game" the stand-in game, "=@marker" the marker DLL, "=@size:N" (sparse),
    // "=@data:N" (N bytes written), "=@random:N" (N bytes of noise), "=@zerohash:N" (16 bytes whose SHA-256 begins with 0); "install\data\" a folder; "readonly:", "hidden:", "locked:" (held
    // open) or "briefly:" (held for half a second) before a file; "unpacked" (the patch lies in the
    // installation), "driveroot" (the patch is P:\, whose current directory is P:\sub), "smalldrive"
    // (both folders on S:, a drive of 4 MiB), "root:name" (both folders lie in a folder of that name),
    // "sametimes" (every file shows one time), "protected:install\" (a folder that refuses new files),
    // "\"args:text\"" (the command line after the program's name, ' for "), "asadmin" (started with the
    // administrator's full token; else with the player's limited one), "signed" (by patchtool, listing
    // install\ as the version it updates, or the folder "oldtree:name" names), "notemp" (the player's
    // temporary folder does not exist), "oldlogs:N" (N logs of earlier runs lie there), "built:MODE:OLD,..."
    // (the patch folder as patchtool.exe build makes it from those trees and new\). Every name is UTF-8.
    std::string setUp;
    std::string record;  // "path=sz:{install} version=1005"; "expand:" REG_EXPAND_SZ, "raw:" unterminated, "Sub\name=" in a sub key
    // each window once: "form(arguments) Answer[=typed]", "elevated ..." for a window of the copy-only
    // process, "copy Kill" ends the program mid-copy ("copy Kill:name" once install\name shows), "copy Unprotect" lifts every protection; "again"
    // runs it once more; "twice" and "lay:items" act before the next window is answered (harness.cpp)
    std::vector<std::string> dialogue;
    // of the tree and the record: "+new -gone ~changed", record values with "=value"; "cleaned": every patch file gone
    std::string changes;
    std::string launched;               // the game's command line, run from {install}; "" when nothing runs
    std::string log = "";               // what the run's log says, in order: pieces of its lines, "|" between
};

inline void PrintTo(const Case& row, std::ostream* out) { *out << row.name; }

// Runs each row and applies every check; ROWS(Group, Case{...}, ...) names a group of rows.
class Run : public testing::TestWithParam<Case> {};
#define ROWS(group, ...) INSTANTIATE_TEST_SUITE_P(group, Run, testing::Values(__VA_ARGS__), testing::PrintToStringParamName())
