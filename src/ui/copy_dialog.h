#pragma once

// Runs the copy dialog over every file entry; returns how many entries were not copied.
int runCopyDialog();
