#include <gtest/gtest.h>
#include <sched.h>

#include <atomic>
#include <vector>

#include "base/threads.h"

namespace {

TEST(Threads, EveryShareRunsOnceWhateverTheCount) {
    for (uint32_t count : {0u, 1u, 2u, 7u, THREADS_MAX}) {
        std::vector<std::atomic<int>> runs(THREADS_MAX);
        std::vector<void*> arguments;
        for (uint32_t i = 0; i < count; ++i)
            arguments.push_back(&runs[i]);
        threads_t threads;
        threads_start(
            &threads, [](void* run) { ((std::atomic<int>*)run)->fetch_add(1); }, arguments.data(),
            count);
        threads_wait(&threads);
        for (uint32_t i = 0; i < THREADS_MAX; ++i)
            EXPECT_EQ(runs[i].load(), i < count ? 1 : 0) << count << " shares, share " << i;
    }
    EXPECT_GE(threads_available(), 1u);
}

// Threads start away from the starter's processor but must not stay tied
// to the others: each may run anywhere the process may.
TEST(Threads, StartedThreadsMayRunOnEveryProcessorOfTheProcess) {
    cpu_set_t process;
    ASSERT_EQ(sched_getaffinity(0, sizeof process, &process), 0);
    EXPECT_EQ(threads_available(), (uint32_t)CPU_COUNT(&process));
    std::vector<int> counts(4, -1);
    std::vector<void*> arguments;
    for (int& count : counts)
        arguments.push_back(&count);
    threads_t threads;
    threads_start(
        &threads,
        [](void* count) {
            cpu_set_t mine;
            *(int*)count = sched_getaffinity(0, sizeof mine, &mine) == 0 ? CPU_COUNT(&mine) : 0;
        },
        arguments.data(), 4);
    threads_wait(&threads);
    for (int count : counts)
        EXPECT_EQ(count, CPU_COUNT(&process));
}

// The lock keeps a plain counter exact however many threads add to it.
TEST(Threads, LockKeepsOthersOut) {
    struct shared_t {
        threads_lock_t lock{};
        uint64_t counter = 0;
    } shared;
    std::vector<void*> arguments(4, &shared);
    threads_t threads;
    threads_start(
        &threads,
        [](void* argument) {
            shared_t* s = (shared_t*)argument;
            for (int i = 0; i < 20000; ++i) {
                threads_lock(&s->lock);
                s->counter += 1;
                threads_unlock(&s->lock);
            }
        },
        arguments.data(), 4);
    threads_wait(&threads);
    EXPECT_EQ(shared.counter, 80000u);
}

// A sleeper sees news published before the wake-up, every time, whatever
// the order in which the two threads get there.
TEST(Threads, SignalWakesSleepersToTheNews) {
    struct mailbox_t {
        threads_signal_t signal;
        uint32_t news = 0, seen = 0, wanted = 0; // wanted: the sleeper's own
    } box;
    threads_signal_make(&box.signal);
    std::vector<void*> arguments(1, &box);
    threads_t threads;
    threads_start(
        &threads,
        [](void* argument) {
            mailbox_t* b = (mailbox_t*)argument;
            for (uint32_t wanted = 1; wanted <= 200; ++wanted) {
                b->wanted = wanted;
                threads_signal_wait(
                    &b->signal, 0,
                    [](const void* m) {
                        const mailbox_t* box = (const mailbox_t*)m;
                        return (int)(atomic_load_acquire(&box->news) >= box->wanted);
                    },
                    b);
                atomic_store_release(&b->seen, wanted);
            }
        },
        arguments.data(), 1);
    for (uint32_t round = 1; round <= 200; ++round) {
        atomic_store_release(&box.news, round);
        threads_signal_wake(&box.signal, 1);
        while (atomic_load_acquire(&box.seen) != round)
            sched_yield();
    }
    threads_wait(&threads);
    threads_signal_free(&box.signal);
    EXPECT_EQ(box.seen, 200u);
}

} // namespace
