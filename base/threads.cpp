#include "base/threads.h"

#include "base/check.h"
#include "base/platform/platform.h"

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

void threads_lock(threads_lock_t* lock) {
    for (uint32_t round = 0; atomic_take(&lock->held); ++round)
        threads_pause(round);
}

void threads_unlock(threads_lock_t* lock) { atomic_give(&lock->held); }

void threads_start(threads_t* threads, thread_work_t work, void* const* arguments, uint32_t count) {
    CHECK(count <= THREADS_MAX);
    threads->count = count;
    for (uint32_t i = 0; i < count; ++i) {
        threads->shares[i] = thread_share_t{work, arguments[i]};
        threads->handles[i] = platform_thread_start(run_share, &threads->shares[i]);
    }
}

uint32_t threads_started(const threads_t* threads) {
    uint32_t started = 0;
    for (uint32_t i = 0; i < threads->count; ++i)
        started += threads->handles[i] != PLATFORM_INVALID_HANDLE;
    return started;
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

namespace {

// A sleep that no wake-up ends still ends after this long: a safety net,
// never the way a waiter learns of news.
const uint32_t SIGNAL_SLEEP_MS = 50;

} // namespace

void threads_signal_make(threads_signal_t* signal) {
    *signal = threads_signal_t{platform_semaphore_create(), 0};
}

void threads_signal_free(threads_signal_t* signal) {
    if (signal->semaphore != PLATFORM_INVALID_HANDLE) platform_semaphore_free(signal->semaphore);
    signal->semaphore = PLATFORM_INVALID_HANDLE;
}

void threads_signal_wake(threads_signal_t* signal, uint32_t count) {
    // Sequentially consistent with the sleeper's count and look: either the
    // sleeper sees the news, or the waker sees the sleeper.
    atomic_fence();
    const uint32_t sleepers = atomic_load_acquire(&signal->sleepers);
    if (sleepers == 0 || signal->semaphore == PLATFORM_INVALID_HANDLE) return;
    platform_semaphore_release(signal->semaphore, count < sleepers ? count : sleepers);
}

void threads_signal_wait(threads_signal_t* signal, uint32_t yield_rounds, threads_ready_t ready,
                         const void* context) {
    for (uint32_t round = 0; !ready(context); ++round) {
        if (round < yield_rounds) {
            threads_pause(round);
            continue;
        }
        atomic_add_full(&signal->sleepers, 1);
        atomic_fence();
        if (!ready(context)) {
            if (signal->semaphore == PLATFORM_INVALID_HANDLE)
                platform_thread_nap();
            else
                platform_semaphore_wait(signal->semaphore, SIGNAL_SLEEP_MS);
        }
        atomic_add_full(&signal->sleepers, -1);
    }
}
