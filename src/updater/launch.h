#pragma once

// Starts the run command's program as installed, with the installation folder
// as its working folder; a program that cannot be found or started is passed over.
void launchInstalledProgram(const wchar_t* commandLine, const wchar_t* installFolder);
