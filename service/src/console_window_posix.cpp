// A POSIX program is started from a shell or by its service manager: no window closes.
#include "console_window.h"

void holdWindowIfAlone() {}
