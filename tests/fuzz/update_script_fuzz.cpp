// libFuzzer target over the script reader: any bytes, whole or in pieces, must
// give the same script, and one that keeps the reader's promises.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "format/update_script.h"

#define CHECK(condition) ((condition) ? (void)0 : abort())
#define TERMINATED(text) (memchr(text, '\0', TEXT_CAPACITY) != nullptr)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static UpdateScript script, pieceByPiece;
    const char* bytes = reinterpret_cast<const char*>(data);
    ScriptParseResult result = parseUpdateScript(bytes, size, &script);
    ScriptReader reader;
    beginScript(&reader, &pieceByPiece);
    for (size_t at = 0, piece = size ? 1 + data[0] % 300 : 1; at < size; at += piece)
        feedScript(&reader, bytes + at, size - at < piece ? size - at : piece);
    CHECK(endScript(&reader) == result && memcmp(&script, &pieceByPiece, sizeof script) == 0);

    CHECK(script.entryCount >= 0 && script.entryCount <= MAX_FILE_ENTRIES);
    CHECK(result == SCRIPT_READ || script.entryCount == MAX_FILE_ENTRIES);
    CHECK(TERMINATED(script.registryKey) && TERMINATED(script.patchVersion) && TERMINATED(script.minimumVersion));
    CHECK(TERMINATED(script.runCommand) && (script.hasRunCommand || script.runCommand[0] == '\0'));
    bool commandIsAnEntry = !script.hasRunCommand;
    for (int i = 0; i < script.entryCount; i++) {
        const FileEntry& entry = script.entries[i];
        CHECK(TERMINATED(entry.targetPath) && TERMINATED(entry.sourceName) && !strchr(entry.sourceName, '\\'));
        CHECK(strstr(entry.targetPath, entry.sourceName) != nullptr);
        size_t length = strlen(entry.targetPath);
        CHECK(length == 0 || (entry.targetPath[length - 1] != '\n' && entry.targetPath[length - 1] != ' '));
        commandIsAnEntry = commandIsAnEntry || strcmp(entry.targetPath, script.runCommand) == 0;
    }
    CHECK(commandIsAnEntry);
    for (int i = script.entryCount; i < MAX_FILE_ENTRIES; i++)
        CHECK(script.entries[i].targetPath[0] == '\0');
    return 0;
}
