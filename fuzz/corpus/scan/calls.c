profiler_event_start( frame )
profiler_timeline_set_id_for_index(render, 2);
my_profiler_initialize(x) profiler_collapsable_start(9lives)