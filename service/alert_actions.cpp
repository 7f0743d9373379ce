// Popup, sound, mail and program start are not built yet: each does nothing
// and reports success, so the receive loop already calls them in their places.
#include "service/notifications.h"

int send_trap_popup(const ServiceSettings&, const TrapRecord&) { return 0; }
int play_trap_sound(const ServiceSettings&, const TrapRecord&) { return 0; }
int start_mail_notification(const ServiceSettings&, const TrapRecord&) { return 0; }
int run_trap_program(const ServiceSettings&, const TrapRecord&) { return 0; }
