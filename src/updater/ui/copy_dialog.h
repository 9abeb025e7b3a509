#pragma once
#include <windows.h>

enum { MAX_COPY_FILES = 50, SHOWN_PATH_CAPACITY = 2 * 260 };

// The two paths shown while a file is copied; the destination also names the file in a failure notice.
struct CopyDialogFile {
    wchar_t source[SHOWN_PATH_CAPACITY];
    wchar_t destination[SHOWN_PATH_CAPACITY];
};

// What the copy dialog shows and does: files[i] is copied by copyFile(i) on the dialog's worker
// thread, which returns 0 when the file is in place, otherwise the error number to show; the
// dialog keeps that number in errors[i] (0 also for a file never reached).
struct CopyDialogData {
    CopyDialogFile files[MAX_COPY_FILES];
    int count;
    unsigned long (*copyFile)(int i);
    unsigned long errors[MAX_COPY_FILES];
};

// Runs the copy dialog over every file; returns how many were not copied.
int runCopyDialog(HINSTANCE instance, CopyDialogData* data);
