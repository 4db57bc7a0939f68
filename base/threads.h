#pragma once

#include <stdint.h>

// Work spread over threads. The calling thread takes a share itself, so a
// share of one starts no thread at all.

const uint32_t THREADS_MAX = 16;

typedef void (*thread_work_t)(void* argument);

// Processors this process may run on, at least 1.
uint32_t threads_available(void);

// Lets another thread run: for a thread that waits on one that may have
// been put aside (more threads than processors).
void threads_yield(void);

// Runs work(arguments[i]) for every i below count (at most THREADS_MAX):
// arguments[0] on the calling thread, the others on threads of their own.
// Returns when every one has ended. A share whose thread the OS refuses is
// run by the caller after its own, so every share always runs.
void threads_run(thread_work_t work, void** arguments, uint32_t count);
