#include "update_script.h"

#include <string.h>

#include "number_rule.h"

namespace {

const char END_OF_FILE_MARK = 0x1A;

bool isSkippedLine(const char* line)
{
    char first = line[0];
    return first == '/' || first == ';' || first == '#' || first == ':' || first == '\0' || first == '\n';
}

// The run entry starts, after any blanks, with the word RUN standing alone.
const char* findRunMarker(const char* text)
{
    while (*text == ' ' || *text == '\t')
        text++;
    if (strncmp(text, "RUN", 3) != 0)
        return nullptr;
    return (text[3] == ' ' || text[3] == '\t' || text[3] == '\0') ? text : nullptr;
}

void applyRunEntryRule(UpdateScript* script, char* targetPath)
{
    const char* marker = findRunMarker(targetPath);
    if (!marker)
        return;
    const char* command = marker[3] == '\0' ? marker + 3 : marker + 4;
    memmove(targetPath, command, strlen(command) + 1);
    strcpy(script->runCommand, targetPath);
    script->hasRunCommand = true;
}

void deriveSourceName(FileEntry* entry)
{
    const char* lastStart = nullptr;
    size_t lastLength = 0;
    for (const char* p = entry->targetPath; *p;) {
        if (*p == '\\') {
            p++;
            continue;
        }
        const char* start = p;
        while (*p && *p != '\\')
            p++;
        lastStart = start;
        lastLength = static_cast<size_t>(p - start);
    }
    if (lastStart)
        memcpy(entry->sourceName, lastStart, lastLength);
    entry->sourceName[lastLength] = '\0';
}

}  // namespace

bool isRunEntry(const char* line)
{
    return findRunMarker(line) != nullptr;
}

void trimLineEnd(char* text)
{
    size_t length = strlen(text);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == ' '))
        text[--length] = '\0';
}

void beginScript(ScriptReader* reader, UpdateScript* script)
{
    memset(reader, 0, sizeof *reader);
    memset(script, 0, sizeof *script);
    reader->script = script;
    reader->lineNumber = 1;
}

// One piece of a line, as fgets with a TEXT_CAPACITY buffer would return it.
static void takeLine(ScriptReader* reader)
{
    char* line = reader->line;
    line[reader->lineLength] = '\0';
    reader->lineLength = 0;
    UpdateScript* script = reader->script;
    int header = reader->headerLinesRead;
    if (header < 4) {
        reader->headerLinesRead++;
        char* fields[3] = {script->registryKey, script->patchVersion, script->minimumVersion};
        if (header < 3) {
            strcpy(fields[header], line);
            trimLineEnd(fields[header]);
        } else {
            script->fullMode = readNumber(line);
        }
        return;
    }
    if (isSkippedLine(line))
        return;
    if (script->entryCount == MAX_FILE_ENTRIES) {
        reader->refused = true;
        reader->refusedLine = reader->pieceLine;
        return;
    }
    reader->entryLines[script->entryCount] = reader->pieceLine;
    char* targetPath = script->entries[script->entryCount].targetPath;
    strcpy(targetPath, line);
    trimLineEnd(targetPath);
    applyRunEntryRule(script, targetPath);
    script->entryCount++;
}

static void takeCharacter(ScriptReader* reader, char c)
{
    if (reader->lineLength == 0)
        reader->pieceLine = reader->lineNumber;
    if (c == '\n')
        reader->lineNumber++;
    reader->line[reader->lineLength++] = c;
    if (c == '\n' || reader->lineLength == TEXT_CAPACITY - 1)
        takeLine(reader);
}

// Text mode: CR LF reads as LF, so a CR waits for the byte after it, which may
// come with the next piece of the file. A Ctrl-Z ends the file.
void feedScript(ScriptReader* reader, const char* bytes, size_t length)
{
    for (size_t i = 0; i < length && !reader->endOfFileMark && !reader->refused; i++) {
        char c = bytes[i];
        if (c == END_OF_FILE_MARK) {
            reader->endOfFileMark = true;
        } else if (reader->carriageReturnPending && c == '\n') {
            reader->carriageReturnPending = false;
            takeCharacter(reader, c);
        } else {
            if (reader->carriageReturnPending) {
                reader->carriageReturnPending = false;
                takeCharacter(reader, '\r');
            }
            if (c == '\r')
                reader->carriageReturnPending = true;
            else if (!reader->refused)
                takeCharacter(reader, c);
        }
    }
}

ScriptParseResult endScript(ScriptReader* reader)
{
    if (reader->carriageReturnPending && !reader->refused)
        takeCharacter(reader, '\r');
    if (reader->lineLength > 0 && !reader->refused)
        takeLine(reader);
    UpdateScript* script = reader->script;
    for (int i = 0; i < script->entryCount; i++)
        deriveSourceName(&script->entries[i]);
    return reader->refused ? SCRIPT_TOO_MANY_ENTRIES : SCRIPT_READ;
}

ScriptParseResult parseUpdateScript(const char* bytes, size_t length, UpdateScript* script)
{
    ScriptReader reader;
    beginScript(&reader, script);
    feedScript(&reader, bytes, length);
    return endScript(&reader);
}
