// What the console asks of the system's C runtime.
#pragma once

namespace console_os {

// Makes standard output buffer whole lines.
void bufferLines();
// Whether standard output is the journal's stream (journald names it in JOURNAL_STREAM).
bool outputIsJournal();
// A print has just ended a line: hands what is buffered to the system where the runtime
// does not do so by itself.
void lineEnded();

}  // namespace console_os
