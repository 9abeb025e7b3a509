// libFuzzer target over the script reader: any bytes must give a script that
// keeps the reader's promises.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "run/update_script.h"

namespace {

void check(bool condition)
{
    if (!condition)
        abort();
}

bool terminated(const char* text)
{
    return memchr(text, '\0', TEXT_CAPACITY) != nullptr;
}

bool isLastComponent(const FileEntry& entry)
{
    size_t sourceLength = strlen(entry.sourceName);
    if (sourceLength == 0)
        return strspn(entry.targetPath, "\\") == strlen(entry.targetPath);
    if (strchr(entry.sourceName, '\\'))
        return false;
    const char* end = entry.targetPath + strlen(entry.targetPath);
    while (end > entry.targetPath && end[-1] == '\\')
        end--;
    const char* start = end - sourceLength;
    return start >= entry.targetPath && memcmp(start, entry.sourceName, sourceLength) == 0 &&
           (start == entry.targetPath || start[-1] == '\\');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static UpdateScript script, pieceByPiece;
    const char* bytes = reinterpret_cast<const char*>(data);
    ScriptParseResult result = parseUpdateScript(bytes, size, &script);
    // Read in pieces, as the updater reads its file, it must come out the same.
    ScriptReader reader;
    beginScript(&reader, &pieceByPiece);
    for (size_t at = 0, piece = size ? 1 + data[0] % 300 : 1; at < size; at += piece)
        feedScript(&reader, bytes + at, size - at < piece ? size - at : piece);
    check(endScript(&reader) == result && memcmp(&script, &pieceByPiece, sizeof script) == 0);
    check(result == SCRIPT_READ || result == SCRIPT_TOO_MANY_ENTRIES);
    check(script.entryCount >= 0 && script.entryCount <= MAX_FILE_ENTRIES);
    check(result == SCRIPT_READ || script.entryCount == MAX_FILE_ENTRIES);
    check(terminated(script.registryKey) && terminated(script.patchVersion) && terminated(script.minimumVersion));
    check(terminated(script.runCommand));
    bool commandIsAnEntry = !script.hasRunCommand;
    for (int i = 0; i < script.entryCount; i++) {
        const FileEntry& entry = script.entries[i];
        check(terminated(entry.targetPath) && terminated(entry.sourceName));
        check(isLastComponent(entry));
        // Trimmed text, and any run command cut from it, never ends in a line feed or a space.
        size_t length = strlen(entry.targetPath);
        check(length == 0 || (entry.targetPath[length - 1] != '\n' && entry.targetPath[length - 1] != ' '));
        if (script.hasRunCommand && strcmp(entry.targetPath, script.runCommand) == 0)
            commandIsAnEntry = true;
    }
    check(commandIsAnEntry);
    if (!script.hasRunCommand)
        check(script.runCommand[0] == '\0');
    for (int i = script.entryCount; i < MAX_FILE_ENTRIES; i++)
        check(script.entries[i].targetPath[0] == '\0');
    return 0;
}
