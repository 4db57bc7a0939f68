#pragma once

#include <stdint.h>

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

// Processors this process may run on, at least 1.
uint32_t threads_available(void);

// For a thread that waits on another, once a round: lets other threads run
// (the one waited on may have been put aside, with more threads than
// processors), and after the first rounds (a wait is usually short) sleeps
// briefly, so that a long wait does not keep a processor busy. round counts
// from 0.
void threads_pause(uint32_t round);

// Starts work(arguments[i]) for every i below count (at most THREADS_MAX),
// each on a thread of its own.
void threads_start(threads_t* threads, thread_work_t work, void* const* arguments, uint32_t count);
// Returns when every one has ended. A share whose thread the OS refused is
// run here, on the calling thread, so every share always runs.
void threads_wait(threads_t* threads);
