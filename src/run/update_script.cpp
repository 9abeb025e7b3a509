#include "update_script.h"

#include <string.h>

#include "number_rule.h"

namespace {

// The script is read as a text-mode stream: CR LF reads as LF, Ctrl-Z ends the
// file, and a line is taken in pieces of at most TEXT_CAPACITY - 1 characters.
struct TextStream {
    const char* bytes;
    size_t length;
    size_t position;
};

const char END_OF_FILE_MARK = 0x1A;

TextStream openTextStream(const char* bytes, size_t length)
{
    const void* mark = length ? memchr(bytes, END_OF_FILE_MARK, length) : nullptr;
    if (mark)
        length = static_cast<size_t>(static_cast<const char*>(mark) - bytes);
    return TextStream{bytes, length, 0};
}

// Like fgets with a TEXT_CAPACITY buffer; false at the end of the stream, the line then empty.
bool readLine(TextStream* stream, char* line)
{
    size_t count = 0;
    while (count < TEXT_CAPACITY - 1 && stream->position < stream->length) {
        char c = stream->bytes[stream->position++];
        if (c == '\r' && stream->position < stream->length && stream->bytes[stream->position] == '\n')
            c = stream->bytes[stream->position++];
        line[count++] = c;
        if (c == '\n')
            break;
    }
    line[count] = '\0';
    return count > 0;
}

void readHeaderText(TextStream* stream, char* field)
{
    char line[TEXT_CAPACITY];
    readLine(stream, line);
    strcpy(field, line);
    trimLineEnd(field);
}

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

void trimLineEnd(char* text)
{
    size_t length = strlen(text);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == ' '))
        text[--length] = '\0';
}

ScriptParseResult parseUpdateScript(const char* bytes, size_t length, UpdateScript* script)
{
    memset(script, 0, sizeof *script);
    TextStream stream = openTextStream(bytes, length);

    readHeaderText(&stream, script->registryKey);
    readHeaderText(&stream, script->patchVersion);
    readHeaderText(&stream, script->minimumVersion);
    char line[TEXT_CAPACITY];
    readLine(&stream, line);
    script->fullMode = readNumber(line);

    ScriptParseResult result = SCRIPT_READ;
    while (readLine(&stream, line)) {
        if (isSkippedLine(line))
            continue;
        if (script->entryCount == MAX_FILE_ENTRIES) {
            result = SCRIPT_TOO_MANY_ENTRIES;
            break;
        }
        char* targetPath = script->entries[script->entryCount].targetPath;
        strcpy(targetPath, line);
        trimLineEnd(targetPath);
        applyRunEntryRule(script, targetPath);
        script->entryCount++;
    }
    for (int i = 0; i < script->entryCount; i++)
        deriveSourceName(&script->entries[i]);
    return result;
}
