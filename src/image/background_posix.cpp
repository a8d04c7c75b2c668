// Linux keeps a nice value per thread, named by its thread id; elsewhere the whole process would
// be lowered, so the thread runs on as it was.
#include "image/background.h"

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

void lowerThreadPriority() {
#if defined(__linux__)
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
#endif
}
