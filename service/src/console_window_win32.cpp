// A console that lists this process alone was made for it: Explorer started the program.
// Started from cmd or PowerShell, the shell shares the console and keeps the text.
#include <windows.h>

#include <cstdio>

#include "console_window.h"

void holdWindowIfAlone() {
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) != 1) return;
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    // Input that is not the console (redirected) could not be answered by a person.
    if (input == INVALID_HANDLE_VALUE || input == nullptr || !GetConsoleMode(input, &mode)) return;
    std::printf("\nPress Enter to close this window.\n");
    std::fflush(stdout);
    FlushConsoleInputBuffer(input);
    char line[16];
    DWORD read = 0;
    ReadConsoleA(input, line, sizeof line, &read, nullptr);
}
