#ifndef RENDER_H
#define RENDER_H
void render_frame(int frame);
#endif
