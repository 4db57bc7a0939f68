#ifndef LOOP_H
#define LOOP_H
void loop_run(int frames);
#endif
