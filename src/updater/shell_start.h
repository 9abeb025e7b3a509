#pragma once
#include <windows.h>

// Starts a program through the shell (ShellExecuteExW), which can ask Windows
// for administrator rights where CreateProcess cannot: "runas" asks for them
// for the program itself; NULL starts it as its manifest asks. Returns the
// process, for the caller to wait for and close, or NULL (the player declined
// the prompt, or the program could not be started).
HANDLE shellStart(const wchar_t* verb, const wchar_t* program, const wchar_t* parameters, const wchar_t* folder);
