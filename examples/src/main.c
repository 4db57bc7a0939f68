#include "engine/loop.h"
#include "profiler.h"

int main(void) {
    profiler_initialize(main_thread);
    profiler_event_start(startup);
    loop_run(3);
    profiler_event_end();
    profiler_report();
    return 0;
}
