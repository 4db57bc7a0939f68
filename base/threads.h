#pragma once

#include <stdint.h>

#include "base/intrinsics.h"

// Work spread over threads.

const uint32_t THREADS_MAX = 16;

typedef void (*thread_work_t)(void* argument);

struct thread_share_t {
    thread_work_t work;
    void* argument;
};

// Threads started together and waited for together. The record must stay
// where it is until they have been waited for.
struct threads_t {
    thread_share_t shares[THREADS_MAX];
    uint64_t handles[THREADS_MAX]; // the platform's; invalid when refused
    uint32_t count;
};

// Counters and flags threads share: a load sees everything written before
// the store (or add) it reads from, in the thread that stored. With an
// MSVC-style compiler, x86-64's loads and stores already order so; the
// compiler is kept from moving them.
#if defined(_MSC_VER)
inline uint32_t atomic_load_acquire(const uint32_t* value) {
    const uint32_t loaded = *(const volatile uint32_t*)value;
    _ReadWriteBarrier();
    return loaded;
}
inline void atomic_store_release(uint32_t* value, uint32_t to) {
    _ReadWriteBarrier();
    *(volatile uint32_t*)value = to;
}
// atomic_fetch_add returns the value before the add; it orders nothing else.
inline uint32_t atomic_fetch_add(uint32_t* value, uint32_t n) {
    return (uint32_t)_InterlockedExchangeAdd((volatile long*)value, (long)n);
}
// atomic_add_full adds (n may be -1) and orders everything before and after.
inline void atomic_add_full(uint32_t* value, int32_t n) {
    _InterlockedExchangeAdd((volatile long*)value, (long)n);
}
// atomic_fence orders everything before it before everything after it.
inline void atomic_fence(void) { _mm_mfence(); }
// atomic_take sets the flag and returns whether it was set already.
inline bool atomic_take(bool* flag) { return _InterlockedExchange8((volatile char*)flag, 1) != 0; }
inline void atomic_give(bool* flag) {
    _ReadWriteBarrier();
    *(volatile bool*)flag = false;
}
#else
inline uint32_t atomic_load_acquire(const uint32_t* value) {
    return __atomic_load_n(value, __ATOMIC_ACQUIRE);
}
inline void atomic_store_release(uint32_t* value, uint32_t to) {
    __atomic_store_n(value, to, __ATOMIC_RELEASE);
}
// atomic_fetch_add returns the value before the add; it orders nothing else.
inline uint32_t atomic_fetch_add(uint32_t* value, uint32_t n) {
    return __atomic_fetch_add(value, n, __ATOMIC_RELAXED);
}
// atomic_add_full adds (n may be -1) and orders everything before and after.
inline void atomic_add_full(uint32_t* value, int32_t n) {
    __atomic_fetch_add(value, (uint32_t)n, __ATOMIC_SEQ_CST);
}
// atomic_fence orders everything before it before everything after it.
inline void atomic_fence(void) { __atomic_thread_fence(__ATOMIC_SEQ_CST); }
// atomic_take sets the flag and returns whether it was set already.
inline bool atomic_take(bool* flag) { return __atomic_test_and_set(flag, __ATOMIC_ACQUIRE); }
inline void atomic_give(bool* flag) { __atomic_clear(flag, __ATOMIC_RELEASE); }
#endif

// A lock for short stretches that never wait on anything else: waiters
// yield, then sleep briefly, since the holder may be off its processor.
struct threads_lock_t {
    bool held;
};
// threads_lock returns once the lock is held; threads_unlock lets it go.
void threads_lock(threads_lock_t* lock);
void threads_unlock(threads_lock_t* lock);

// threads_available returns the processors this process may run on, at
// least 1.
uint32_t threads_available(void);

// threads_pause is for a thread that waits on another, once a round: it
// lets other threads run
// (the one waited on may have been put aside, with more threads than
// processors), and after the first rounds (a wait is usually short) sleeps
// briefly, so that a long wait does not keep a processor busy. round counts
// from 0.
void threads_pause(uint32_t round);

// Where threads wait for news (more work, the end of it) without holding a
// processor or sleeping a fixed time: they sleep in the OS until woken.
struct threads_signal_t {
    uint64_t semaphore; // the platform's; invalid when refused (sleepers then nap)
    uint32_t sleepers;  // threads asleep on it or about to be
};
// threads_signal_make makes a signal; threads_signal_free releases it.
void threads_signal_make(threads_signal_t* signal);
void threads_signal_free(threads_signal_t* signal);
// threads_signal_wake wakes up to count sleepers; costs an atomic read when none sleeps. Call it
// after publishing the news.
void threads_signal_wake(threads_signal_t* signal, uint32_t count);
// threads_signal_wait returns once ready(context) is true: it yields for the first yield_rounds
// looks (news usually comes soon), then sleeps on the signal between looks.
// Before each sleep it looks once more after saying it sleeps, so news that
// came meanwhile is never slept through; a sleep ends when woken, or after
// a few milliseconds in any case.
typedef int (*threads_ready_t)(const void* context);
void threads_signal_wait(threads_signal_t* signal, uint32_t yield_rounds, threads_ready_t ready,
                         const void* context);

// threads_start starts work(arguments[i]) for every i below count (at most THREADS_MAX),
// each on a thread of its own.
void threads_start(threads_t* threads, thread_work_t work, void* const* arguments, uint32_t count);
// threads_started returns how many of the shares got a thread of their own (the others run in
// threads_wait).
uint32_t threads_started(const threads_t* threads);
// threads_wait returns when every one has ended. A share whose thread the OS refused is
// run here, on the calling thread, so every share always runs.
void threads_wait(threads_t* threads);
