#pragma once

// Windows will not delete a running program's file: arranges for "updater.exe"
// to be deleted from the program folder once this process has ended.
void deleteProgramAfterExit();
