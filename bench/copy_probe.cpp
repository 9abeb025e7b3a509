// Measures how long the copy dialog keeps a caller waiting while a large file
// copies: starts updater.exe on a quiet-mode patch of one file, and every 50 ms
// sends the dialog WM_NULL and times the answer.
//   copy_probe.exe <updater.exe> <work folder> <megabytes>
#include <windows.h>

#include "../tests/player_start.h"

#include <stdio.h>
#include <string>

static bool writeText(const std::string& path, const std::string& text)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD written = 0;
    bool ok = file != INVALID_HANDLE_VALUE && WriteFile(file, text.data(), (DWORD)text.size(), &written, NULL);
    CloseHandle(file);
    return ok;
}

static bool makeLargeFile(const std::string& path, LONGLONG bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    static char block[1 << 20];
    for (size_t i = 0; i < sizeof block; i++)
        block[i] = (char)(i * 7 + 1);
    DWORD written = 0;
    for (LONGLONG done = 0; done < bytes; done += sizeof block)
        WriteFile(file, block, sizeof block, &written, NULL);
    CloseHandle(file);
    return true;
}

int main(int argc, char** argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: copy_probe.exe <updater.exe> <work folder> <megabytes>\n");
        return 2;
    }
    std::string work = argv[2], patch = work + "\\patch", install = work + "\\install";
    CreateDirectoryA(work.c_str(), NULL);
    CreateDirectoryA(patch.c_str(), NULL);
    CreateDirectoryA(install.c_str(), NULL);
    const char* key = "Software\\UpdaterBench\\Probe";
    HKEY record;
    RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, NULL, 0, KEY_SET_VALUE, NULL, &record, NULL);
    RegSetValueExA(record, "path", 0, REG_SZ, (const BYTE*)install.c_str(), (DWORD)install.size() + 1);
    RegCloseKey(record);
    writeText(patch + "\\update.txt", std::string(key) + "\r\n1\r\n1\r\n0\r\nbig.bin\r\n");
    if (!makeLargeFile(patch + "\\big.bin", atoll(argv[3]) << 20) ||
        !CopyFileA(argv[1], (patch + "\\updater.exe").c_str(), FALSE)) {
        fprintf(stderr, "probe: cannot prepare %s\n", patch.c_str());
        return 1;
    }

    std::string program = patch + "\\updater.exe";
    std::wstring wideProgram(program.begin(), program.end());
    PROCESS_INFORMATION process;
    if (!startProgram(wideProgram.c_str(), NULL, false, &process))
        return 1;
    DWORD started = GetTickCount();
    HWND dialog = NULL;
    while (!dialog && WaitForSingleObject(process.hProcess, 5) == WAIT_TIMEOUT)
        dialog = FindWindowA(NULL, "SRVN Updater");
    DWORD longest = 0, probes = 0;
    while (dialog && WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
        DWORD before = GetTickCount();
        DWORD_PTR result;
        if (!SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result) && !IsWindow(dialog))
            break;
        DWORD waited = GetTickCount() - before;
        longest = waited > longest ? waited : longest;
        probes++;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD total = GetTickCount() - started;
    DeleteFileA((install + "\\big.bin").c_str());
    DeleteFileA((patch + "\\updater.exe").c_str());
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\UpdaterBench");
    printf("longest_wait_ms=%lu probes=%lu run_ms=%lu\n", longest, probes, total);
    return dialog ? 0 : 1;
}
