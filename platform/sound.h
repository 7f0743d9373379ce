// Sounds on the machine that runs the receiver.
//
// play_wave_file() returns at once and plays the file in the background, once
// or over and over; a new call replaces a sound still playing. play_beep()
// plays a tone and returns when it has ended. Windows: PlaySoundA (a missing
// file plays the system's default sound) and Beep. Linux: ALSA's default
// device; without one there is no sound, but a beep still takes its time.
#pragma once

void play_wave_file(const char* path, bool loop);
void play_beep(unsigned frequency, unsigned milliseconds);
