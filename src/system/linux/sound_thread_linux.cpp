#include "audio/sound_thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace pelorin::sdl {

// Real-time priority where the system allows, else a higher nice level. SDL asks for this only
// through a desktop service that may be missing.
void RaiseSoundThread() {
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_RR);
    if (pthread_setschedparam(pthread_self(), SCHED_RR, &param) != 0) {
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), -10);
    }
}

}  // namespace pelorin::sdl
