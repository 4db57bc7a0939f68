#ifndef PROFILER_H
#define PROFILER_H

/* A tiny stand-in for the profiling library: each call names its timeline
   or event by a bare identifier, which the macros below turn into the
   enumerators of the generated profiler_ids.h. This file is kept out of the
   scan by the tool's default exception list: its macro definitions look
   like calls. */

#define PROFILER_ON
#include "profiler_ids.h"

void profiler_begin_timeline(profiler_timeline_id_t timeline);
void profiler_begin_event(profiler_event_id_t event);
void profiler_end_event(void);
void profiler_report(void);

#define profiler_initialize(timeline) profiler_begin_timeline(profiler_timeline_id_##timeline)
#define profiler_timeline_initialize(timeline) \
    profiler_begin_timeline(profiler_timeline_id_##timeline)
#define profiler_timeline_set_id(timeline) profiler_begin_timeline(profiler_timeline_id_##timeline)
#define profiler_timeline_set_id_for_index(timeline, index) \
    profiler_begin_timeline((profiler_timeline_id_t)(profiler_timeline_id_##timeline + 0 * (index)))
#define profiler_event_start(event) profiler_begin_event(profiler_event_id_##event)
#define profiler_collapsable_start(event) profiler_begin_event(profiler_event_id_##event)
#define profiler_event_end() profiler_end_event()

#endif
