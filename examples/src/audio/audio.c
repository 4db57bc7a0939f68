#include "audio.h"

#include "../profiler.h"

void audio_mix(void) {
    profiler_timeline_set_id(audio_thread);
    profiler_event_start(mix);
    profiler_event_end();
}
