#pragma once

// Deletes the patch files, "update.txt" and "updater.exe" from the program
// folder; a file that is absent or cannot be deleted is passed over.
void removePatchFiles();
