#include "platform/sound.h"

#include <windows.h>
#include <mmsystem.h>

void play_wave_file(const char* path, bool loop)
{
    PlaySoundA(path, nullptr, loop ? SND_FILENAME | SND_LOOP | SND_ASYNC : SND_FILENAME | SND_ASYNC);
}

void play_beep(unsigned frequency, unsigned milliseconds) { Beep(frequency, milliseconds); }
