#include "render.h"

#include "../../profiler.h"

void render_frame(int frame) {
    profiler_timeline_set_id_for_index(render_worker, frame);
    profiler_event_start(draw_scene);
    profiler_event_end();
    profiler_event_start(present);
    profiler_event_end();
}
