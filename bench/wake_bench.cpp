// How soon a thread waiting for the walk learns of a new entry: woken by the
// signal the walk gives for each entry, beside napping and looking again
// (what the waiting threads did before; on Windows a nap is a timer tick,
// 15.6 ms by default). The time from the news to the waiter seeing it.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "base/platform/platform.h"
#include "base/threads.h"

namespace {

using clock_type = std::chrono::steady_clock;

struct mailbox_t {
    std::atomic<uint32_t> news{0};
    std::atomic<uint32_t> seen{0};
    threads_signal_t signal;
    uint32_t wanted = 0; // the waiter's own
};

void wait_signalled(mailbox_t* box, uint32_t wanted) {
    box->wanted = wanted;
    threads_signal_wait(
        &box->signal, 0,
        [](const void* b) {
            const mailbox_t* m = (const mailbox_t*)b;
            return (int)(m->news.load() >= m->wanted);
        },
        box);
}

void wait_napping(mailbox_t* box, uint32_t wanted) {
    while (box->news.load() < wanted)
        platform_thread_nap();
}

template <void (*wait)(mailbox_t*, uint32_t)> void BM_Wake(benchmark::State& state) {
    mailbox_t box;
    threads_signal_make(&box.signal);
    std::atomic<bool> stop{false};
    std::thread waiter([&] {
        for (uint32_t round = 1; !stop; ++round) {
            wait(&box, round);
            box.seen.store(round);
        }
    });
    uint32_t round = 0;
    for (auto _ : state) {
        // Give the waiter time to fall asleep, as it does during a slow walk.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const auto start = clock_type::now();
        box.news.store(++round);
        threads_signal_wake(&box.signal, 1);
        while (box.seen.load() != round) {
        }
        state.SetIterationTime(std::chrono::duration<double>(clock_type::now() - start).count());
    }
    stop = true;
    box.news.store(++round + 1);
    threads_signal_wake(&box.signal, 1);
    waiter.join();
    threads_signal_free(&box.signal);
}

BENCHMARK(BM_Wake<wait_signalled>)->Name("wake/signalled")->UseManualTime()->Iterations(200);
BENCHMARK(BM_Wake<wait_napping>)->Name("wake/napping")->UseManualTime()->Iterations(200);

} // namespace

BENCHMARK_MAIN();
