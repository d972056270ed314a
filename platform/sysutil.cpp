#include "platform/sysutil.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>

namespace vex {

void UseCNumericLocale() {
    std::setlocale(LC_NUMERIC, "C");
}

void RaiseThreadPriorityBestEffort() {
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    errno = 0;
    const int current = ::getpriority(PRIO_PROCESS, tid);
    if (errno == 0) (void)::setpriority(PRIO_PROCESS, tid, current - 1);
}

}  // namespace vex
