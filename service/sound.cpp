// Sound and program start for the traps the receive loop asks them for;
// both run on its thread.
#include "platform/process.h"
#include "platform/sound.h"
#include "service/file_recorders.h"
#include "service/notifications.h"

int play_trap_sound(const ServiceSettings& s, const TrapRecord&)
{
    if (is_on(s.f_wave)) {
        play_wave_file(s.wavefile, is_on(s.waveloop));
    } else {
        play_beep(static_cast<unsigned>(s.sound_freq), static_cast<unsigned>(s.sound_msec));
    }
    return 0;
}

int run_trap_program(const ServiceSettings& s, const TrapRecord&)
{
    write_held_file_entries();  // the program may read the files and must find its trap there
    return start_program(s.program) ? 0 : -1;
}
