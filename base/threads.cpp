#include "threads.h"

#include "check.h"
#include "platform/platform.h"

namespace {

struct share_t {
    thread_work_t work;
    void* argument;
};

uint32_t run_share(void* share) {
    share_t* s = (share_t*)share;
    s->work(s->argument);
    return 0;
}

} // namespace

uint32_t threads_available(void) { return platform_processor_count(); }

void threads_yield(void) { platform_thread_yield(); }

void threads_run(thread_work_t work, void** arguments, uint32_t count) {
    CHECK(count <= THREADS_MAX);
    share_t shares[THREADS_MAX];
    platform_handle_t threads[THREADS_MAX];
    for (uint32_t i = 1; i < count; ++i) {
        shares[i] = share_t{work, arguments[i]};
        threads[i] = platform_thread_start(run_share, &shares[i]);
    }
    if (count != 0) work(arguments[0]);
    for (uint32_t i = 1; i < count; ++i) {
        if (threads[i] == PLATFORM_INVALID_HANDLE)
            work(arguments[i]);
        else
            platform_thread_join(threads[i]);
    }
}
