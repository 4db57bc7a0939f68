#ifndef AUDIO_H
#define AUDIO_H
void audio_mix(void);
#endif
