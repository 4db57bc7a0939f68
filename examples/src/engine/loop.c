#include "loop.h"

#include "../audio/audio.h"
#include "../profiler.h"
#include "render/render.h"

static void simulate(void) {
    profiler_event_start(physics_step);
    profiler_event_end();
}

void loop_run(int frames) {
    int frame;
    profiler_timeline_initialize(game_loop);
    for (frame = 0; frame < frames; ++frame) {
        profiler_collapsable_start(frame);
        simulate();
        render_frame(frame);
        audio_mix();
        profiler_event_end();
    }
}
