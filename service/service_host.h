// The receiver's roles that depend on the operating system: the service hosts.
//
// Windows: the Service Control Manager. install_service() registers the
// program (its path in double quotes plus " -service", automatic start, LocalSystem)
// and the event-log source; uninstall_service() deletes it; run_service()
// hands control to the dispatcher, which returns at once when the program was
// not started by the Service Control Manager. A stop or shutdown request sends
// the wake-up datagram, and the service reports stopped two seconds after the
// loop ends.
//
// protect_settings() leaves the settings (with the scrambled passwords) to
// administrators alone. Windows: it creates the settings key when it is
// missing and gives it a protected DACL of SYSTEM and Administrators, full
// access each; install_service() does the same, and the installer runs it.
// Linux: it makes the settings file, when there is one, readable and
// writable by its owner only (mode 0600); install_service() and the
// package's postinst do the same.
//
// Linux: install_service() writes the systemd unit tarnow.service into
// $TARNOW_SYSTEMD_DIR, else /etc/systemd/system (and enables it with
// systemctl when the folder is the system's and systemctl exists);
// uninstall_service() removes it; run_service() runs the loop in the
// foreground until SIGTERM or SIGINT, which send the wake-up datagram. As a
// service the loop prints nothing per trap (see TrapOutput).
//
// Failures print the receiver's console messages with the system's error
// code; nothing is returned.
#pragma once

void install_service();
void uninstall_service();
void run_service();
void protect_settings();

// Ctrl+C (and on Linux SIGTERM) in the console role: sends the wake-up
// datagram so that the loop ends as it does for a service.
void stop_on_console_interrupt();

// An argument the program does not know: a "test srv" message box on Windows,
// a line on standard error elsewhere.
void show_unknown_argument(const char* argument);
