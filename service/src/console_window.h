// A program started by a double-click has a console window of its own, which closes the
// moment the program exits: an error would vanish before it could be read.
#pragma once

// When this process is the only one on its console, asks for Enter before returning, so
// the window stays open; otherwise (started from a shell, a service, a pipe) returns at
// once.
void holdWindowIfAlone();
