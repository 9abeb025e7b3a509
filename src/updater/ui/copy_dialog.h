#pragma once
#include <windows.h>

enum { MAX_COPY_FILES = 50, SHOWN_PATH_CAPACITY = 2 * 260 };

// The two paths shown while a file is copied; the destination also names the file in a failure notice.
struct CopyDialogFile {
    wchar_t source[SHOWN_PATH_CAPACITY];
    wchar_t destination[SHOWN_PATH_CAPACITY];
};

// What the copy dialog shows and does, on its worker thread: files[i] is staged by stageFile(i),
// in order, then every staged file is written to the disk (closeStaged) and put in place by
// placeFile(i), in order; discardStaged removes what is left. Each returns 0 when the file is
// done, otherwise the error number to show; the dialog keeps it in errors[i] (0 also for a file
// never reached). A file that stageFile finds damaged (ERROR_PATCH_DAMAGED) ends the copy at once
// and puts nothing in place; damaged then holds its number, otherwise -1.
struct CopyDialogData {
    CopyDialogFile files[MAX_COPY_FILES];
    int count;
    unsigned long (*stageFile)(int i);
    void (*closeStaged)();
    unsigned long (*placeFile)(int i);
    void (*discardStaged)();
    unsigned long errors[MAX_COPY_FILES];
    int damaged;
};

// Runs the copy dialog over every file; returns how many were not copied.
int runCopyDialog(HINSTANCE instance, CopyDialogData* data);
