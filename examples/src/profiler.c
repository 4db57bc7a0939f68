/* The stand-in profiler: counts events per id and prints the ids it knows
   from the generated tables. */
#define PROFILER_IMPLEMENTATION
#include "profiler.h"

#include <stdio.h>

static unsigned event_counts[profiler_event_id_count];
static profiler_timeline_id_t current_timeline;

void profiler_begin_timeline(profiler_timeline_id_t timeline) { current_timeline = timeline; }

void profiler_begin_event(profiler_event_id_t event) { event_counts[event] += 1; }

void profiler_end_event(void) {}

void profiler_report(void) {
    int i;
    printf("timelines (%d, longest name %u):\n", (int)profiler_timeline_id_count,
           (unsigned)profiler_max_timeline_id_string_length);
    for (i = 0; i < profiler_timeline_id_count; ++i)
        printf("  %d %.*s%s\n", i, (int)profiler_timeline_id_string_lengths[i],
               profiler_timeline_id_strings[i], i == (int)current_timeline ? " (current)" : "");
    printf("events (%d, longest name %u):\n", (int)profiler_event_id_count,
           (unsigned)profiler_max_event_id_string_length);
    for (i = 0; i < profiler_event_id_count; ++i)
        printf("  %d %.*s x%u\n", i, (int)profiler_event_id_string_lengths[i],
               profiler_event_id_strings[i], event_counts[i]);
}
