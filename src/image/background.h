// Work that nobody waits on, such as writing the capture-time file while the editor opens, should
// not take processor time from the work the user is watching. One implementation per platform:
// background_posix.cpp and background_win32.cpp.
#pragma once

// Lowers the calling thread's scheduling priority below the program's other threads. A thread
// that cannot be lowered runs on as it was.
void lowerThreadPriority();
