#include "threads.h"

#include "check.h"
#include "platform/platform.h"

namespace {

uint32_t run_share(void* share) {
    thread_share_t* s = (thread_share_t*)share;
    s->work(s->argument);
    return 0;
}

} // namespace

uint32_t threads_available(void) { return platform_processor_count(); }

void threads_pause(uint32_t round) {
    // About a millisecond of yields before the first sleep.
    const uint32_t YIELD_ROUNDS = 1000;
    if (round < YIELD_ROUNDS)
        platform_thread_yield();
    else
        platform_thread_nap();
}

void threads_start(threads_t* threads, thread_work_t work, void* const* arguments, uint32_t count) {
    CHECK(count <= THREADS_MAX);
    threads->count = count;
    for (uint32_t i = 0; i < count; ++i) {
        threads->shares[i] = thread_share_t{work, arguments[i]};
        threads->handles[i] = platform_thread_start(run_share, &threads->shares[i]);
    }
}

void threads_wait(threads_t* threads) {
    for (uint32_t i = 0; i < threads->count; ++i) {
        if (threads->handles[i] == PLATFORM_INVALID_HANDLE)
            run_share(&threads->shares[i]);
        else
            platform_thread_join(threads->handles[i]);
    }
    threads->count = 0;
}
