// Plays the user for the demo when there is no one at the screen: starts
// updater.exe, and at each window it shows (the path dialog, the copy dialog,
// the completion notice) writes "<name>.ready" into the shots folder, waits for
// "<name>.done" from whoever takes the screenshot, then answers as a user would.
//   demo_driver.exe <patch folder> <shots folder>
#include <windows.h>

#include "../tests/player_start.h"

#include <stdio.h>
#include <string.h>

struct Stage {
    const char* caption;
    const char* name;
    int button;  // 0: answered by nobody (the copy dialog closes itself)
};

static const Stage STAGES[] = {
    {"SRVN Updater- Installation Path", "1-path-dialog", IDOK},
    {"SRVN Updater", "2-copy-dialog", 0},
    {"Success", "3-complete", IDOK},
};

static const char* shotsFolder;

static bool waitForFile(const char* path, DWORD milliseconds)
{
    for (DWORD waited = 0; waited < milliseconds; waited += 20) {
        if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES)
            return true;
        Sleep(20);
    }
    return false;
}

static void pauseForScreenshot(const char* name)
{
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%s\\%s.ready", shotsFolder, name);
    CloseHandle(CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    snprintf(path, sizeof path, "%s\\%s.done", shotsFolder, name);
    if (!waitForFile(path, 15000))
        fprintf(stderr, "demo: no screenshot of %s\n", name);
}

struct Found {
    DWORD processId;
    const char* caption;
    HWND window;
};

static BOOL CALLBACK matchWindow(HWND window, LPARAM parameter)
{
    Found* found = reinterpret_cast<Found*>(parameter);
    DWORD processId = 0;
    char caption[256] = "";
    GetWindowThreadProcessId(window, &processId);
    GetWindowTextA(window, caption, sizeof caption);
    if (processId == found->processId && IsWindowVisible(window) && strcmp(caption, found->caption) == 0) {
        found->window = window;
        return FALSE;
    }
    return TRUE;
}

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 2) {
        fprintf(stderr, "usage: demo_driver.exe <patch folder> [<shots folder>]\n");
        return 2;
    }
    wchar_t program[MAX_PATH];
    swprintf(program, MAX_PATH, L"%hs\\updater.exe", argv[1]);
    PROCESS_INFORMATION process;
    if (!startProgram(program, NULL, false, &process)) {
        fprintf(stderr, "demo: cannot start %ls (error %lu)\n", program, GetLastError());
        return 1;
    }
    if (argc == 2) {  // someone at the screen answers
        WaitForSingleObject(process.hProcess, INFINITE);
        return 0;
    }
    shotsFolder = argv[2];
    size_t stage = 0;
    DWORD started = GetTickCount();
    while (WaitForSingleObject(process.hProcess, 10) == WAIT_TIMEOUT && GetTickCount() - started < 120000) {
        if (stage == sizeof STAGES / sizeof STAGES[0])
            continue;
        Found found = {process.dwProcessId, STAGES[stage].caption, NULL};
        EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&found));
        if (!found.window)
            continue;
        Sleep(300);  // let it paint
        pauseForScreenshot(STAGES[stage].name);
        if (STAGES[stage].button)
            PostMessageA(found.window, WM_COMMAND, MAKEWPARAM(STAGES[stage].button, BN_CLICKED), 0);
        stage++;
    }
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    return stage == sizeof STAGES / sizeof STAGES[0] && exitCode == 0 ? 0 : 1;
}
