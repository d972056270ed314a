#include "services/svcwait.h"

#include <pthread.h>

#include "platform/sysutil.h"

namespace vex::svc {

void PrepareWorkerThread(const char* name, bool raisePriority) {
    pthread_setname_np(pthread_self(), name);
    if (raisePriority) RaiseThreadPriorityBestEffort();
}

}  // namespace vex::svc
