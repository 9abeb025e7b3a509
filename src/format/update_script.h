#pragma once
#include <stddef.h>

#include "path_text.h"

enum { MAX_FILE_ENTRIES = 50 };

struct FileEntry {
    char targetPath[TEXT_CAPACITY];   // relative to the installation folder
    char sourceName[TEXT_CAPACITY];   // its last component: the file in the patch folder
};

struct UpdateScript {
    char registryKey[TEXT_CAPACITY];
    char patchVersion[TEXT_CAPACITY];
    char minimumVersion[TEXT_CAPACITY];
    int fullMode;
    FileEntry entries[MAX_FILE_ENTRIES];
    int entryCount;
    char runCommand[TEXT_CAPACITY];
    bool hasRunCommand;
};

enum ScriptParseResult {
    SCRIPT_READ = 0,
    SCRIPT_TOO_MANY_ENTRIES = -1,
};

// Reads "update.txt" as a text-mode stream, piece by piece as the file is read:
// beginScript, feedScript for each piece in order, endScript. Fills the whole of
// script; on SCRIPT_TOO_MANY_ENTRIES the first 50 entries are filled and the
// script must not be used.
struct ScriptReader {
    UpdateScript* script;
    char line[TEXT_CAPACITY];
    size_t lineLength;
    int headerLinesRead;
    bool carriageReturnPending;
    bool endOfFileMark;
    bool refused;  // a 51st entry was met
    int refusedLine;  // its line
    int lineNumber;                     // physical line being read, from 1
    int pieceLine;                      // the line the current piece began on
    int entryLines[MAX_FILE_ENTRIES];   // the line of each entry, for diagnostics
};
void beginScript(ScriptReader* reader, UpdateScript* script);
void feedScript(ScriptReader* reader, const char* bytes, size_t length);
ScriptParseResult endScript(ScriptReader* reader);

// The same over the whole file at once.
ScriptParseResult parseUpdateScript(const char* bytes, size_t length, UpdateScript* script);

// True for a line that marks the program to launch: RUN, after any blanks, alone or before a blank.
bool isRunEntry(const char* line);

// Removes line feeds and spaces from the end of text.
void trimLineEnd(char* text);
