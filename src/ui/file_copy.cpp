#include "file_copy.h"

// Wine never calls CopyFileExA's progress routine while it copies, so the copy is
// done here, chunk by chunk. The buffer is static: the program allocates nothing.
static char chunk[1 << 18];

void handlePendingMessages(HWND window)
{
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (!IsDialogMessageA(window, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

static DWORD copyContents(HANDLE from, HANDLE to, HWND window)
{
    // Asking for messages costs a trip to the window system: every 25 ms is
    // often enough to stay responsive and rare enough to cost nothing.
    DWORD lastHandled = GetTickCount();
    for (;;) {
        DWORD got = 0, written = 0;
        if (!ReadFile(from, chunk, sizeof chunk, &got, NULL))
            return GetLastError();
        if (got == 0)
            return 0;
        if (!WriteFile(to, chunk, got, &written, NULL))
            return GetLastError();
        if (written != got)
            return ERROR_DISK_FULL;
        if (GetTickCount() - lastHandled >= 25) {
            handlePendingMessages(window);
            lastHandled = GetTickCount();
        }
    }
}

DWORD copyFileKeepingWindowAlive(const char* source, const char* destination, HWND window)
{
    // As CopyFileA, a read-only file is never overwritten, even where the
    // system would allow it (Wine running as root).
    DWORD existing = GetFileAttributesA(destination);
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_READONLY) &&
        !(existing & FILE_ATTRIBUTE_DIRECTORY))
        return ERROR_ACCESS_DENIED;
    HANDLE from = CreateFileA(source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (from == INVALID_HANDLE_VALUE)
        return GetLastError();
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(from, &info)) {
        DWORD error = GetLastError();
        CloseHandle(from);
        return error;
    }
    // As CopyFileA: the copy takes the source's attributes and time of last write.
    HANDLE to = CreateFileA(destination, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                            info.dwFileAttributes & ~FILE_ATTRIBUTE_DIRECTORY, NULL);
    if (to == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        CloseHandle(from);
        return error;
    }
    DWORD error = copyContents(from, to, window);
    if (error == 0 && !SetFileTime(to, NULL, NULL, &info.ftLastWriteTime))
        error = GetLastError();
    CloseHandle(to);
    CloseHandle(from);
    if (error != 0)
        DeleteFileA(destination);  // never leave a half-written file behind
    return error;
}
