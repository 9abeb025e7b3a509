#pragma once
#include <windows.h>
#include <stdint.h>

#include "format/update_script.h"

// The one state of a patch run, zeroed at start and shared by every stage.
struct RunState {
    HINSTANCE instance;
    char programFolder[TEXT_CAPACITY];
    char installFolder[TEXT_CAPACITY];
    char recordFolder[TEXT_CAPACITY];  // installFolder as the record gave it, before the path dialog
    UpdateScript script;
    int32_t installedVersion;
};

extern RunState runState;

int runUpdate(HINSTANCE instance);
void removePatchFiles();
int readUpdateScript();
