// tarnow: picks a role from the command line. Without arguments the receive
// loop runs in the console; otherwise each argument is handled in turn, but
// "-user" takes every argument after it, and a failed role ends the program
// with its status.
#include <cstdio>
#include <cstring>

#include "service/service_host.h"
#include "platform/sockets.h"
#include "service/receive_loop.h"
#include "service/user_command.h"

namespace {

// Started before main and cleaned up at exit; every role relies on it.
SocketsRuntime sockets;

void print_version()
{
    std::printf("%s\n", kBanner);
    std::printf("Build:[%s  %s]\n", __DATE__, __TIME__);
}

void handle_argument(const char* arg)
{
    if (std::strcmp(arg, "-install") == 0) return install_service();
    if (std::strcmp(arg, "-delete") == 0 || std::strcmp(arg, "-uninstall") == 0) return uninstall_service();
    if (std::strcmp(arg, "-service") == 0) return run_service();
    if (std::strcmp(arg, "-version") == 0) return print_version();
    if (std::strcmp(arg, "-protect-settings") == 0) return protect_settings();
    show_unknown_argument(arg);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        stop_on_console_interrupt();
        run_receive_loop();
        return 0;
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-user") == 0) return run_user_command(argc - i - 1, argv + i + 1);
        if (std::strcmp(argv[i], "-engineid") == 0) {
            if (const int status = print_engine_id()) return status;
            continue;
        }
        handle_argument(argv[i]);
    }
    return 0;
}
