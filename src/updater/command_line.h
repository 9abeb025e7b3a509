#pragma once

// The one command line the program reads: "/copy-only" and a folder, which the
// player's run gives the copy it starts with administrator rights. True when
// the command line is that switch and folder (quoted), copied into folder
// (TEXT_CAPACITY characters). The player's start passes nothing, and any other
// command line is never looked at.
bool readCopyOnlySwitch(wchar_t* folder);

// True when this process holds administrator rights: started as "/copy-only",
// with "Run as administrator", by another program's "runas", or by an
// administrator whose Windows asks nothing. Every such run takes the elevated road.
bool runsElevated();
