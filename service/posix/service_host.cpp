#include "service/service_host.h"

#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/event_log.h"
#include "service/receive_loop.h"

extern char** environ;

namespace {

const char kUnitName[] = "tarnow.service";
const char kSystemUnitDir[] = "/etc/systemd/system";

std::string unit_dir()
{
    const char* dir = std::getenv("TARNOW_SYSTEMD_DIR");
    return dir != nullptr && *dir != '\0' ? dir : kSystemUnitDir;
}

std::string unit_path() { return unit_dir() + "/" + kUnitName; }

bool uses_systemctl() { return unit_dir() == kSystemUnitDir && access("/usr/bin/systemctl", X_OK) == 0; }

void systemctl(const char* verb)
{
    const char* argv[] = {"systemctl", verb, kUnitName, nullptr};
    const char* reload[] = {"systemctl", "daemon-reload", nullptr};
    for (const char* const* args : {reload, argv}) {
        pid_t pid;
        if (posix_spawn(&pid, "/usr/bin/systemctl", nullptr, nullptr, const_cast<char* const*>(args), environ) == 0)
            waitpid(pid, nullptr, 0);
    }
}

void print_error(const char* format, int code) { std::printf(format, code); }

static_assert(std::atomic<bool>::is_always_lock_free, "the stop flag is set from a signal handler");

extern "C" void note_stop_signal(int) { note_stop_request(); }

// Waits for SIGTERM or SIGINT on a thread of its own and stops the loop.
void* wait_for_stop_signal(void*)
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    for (;;) {
        int received = 0;
        if (sigwait(&signals, &received) != 0) continue;
        request_stop();
    }
    return nullptr;
}

} // namespace

void install_service()
{
    char program[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", program, sizeof program - 1);
    if (n <= 0) return print_error("モジュールのサービス登録に失敗しました CODE:[%d]\n", errno);
    program[n] = '\0';

    std::FILE* unit = std::fopen(unit_path().c_str(), "wx");  // fails when the unit exists
    if (unit == nullptr) return print_error("モジュールのサービス登録に失敗しました CODE:[%d]\n", errno);
    std::fprintf(unit,
                 "[Unit]\n"
                 "Description=%s\n"
                 "After=network.target\n"
                 "\n"
                 "[Service]\n"
                 "ExecStart=%s -service\n"
                 "\n"
                 "[Install]\n"
                 "WantedBy=multi-user.target\n",
                 kServiceName, program);
    std::fclose(unit);
    protect_settings();
    if (uses_systemctl()) systemctl("enable");
    report_service_event(kEventInstalled);
}

void uninstall_service()
{
    if (access(unit_path().c_str(), F_OK) != 0)
        return print_error("サービスとの接続に失敗しました CODE:[%d]\n", errno);
    if (uses_systemctl()) systemctl("disable");
    std::remove(unit_path().c_str());
    report_service_event(kEventUninstalled);
}

void protect_settings()
{
    const char* env = std::getenv("TARNOW_SETTINGS");
    const char* path = env != nullptr && *env != '\0' ? env : "/etc/tarnow/settings.reg";
    if (chmod(path, S_IRUSR | S_IWUSR) != 0 && errno != ENOENT)
        print_error("設定キーのアクセス権を制限できませんでした CODE:[%d]\n", errno);
}

void run_service()
{
    stop_on_console_interrupt();
    report_service_event(kEventStarted);
    run_receive_loop(TrapOutput::None);  // the journal keeps the service's own events, not every trap
    sleep(2);
    report_service_event(kEventStopped);
}

void stop_on_console_interrupt()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    pthread_t thread;
    if (pthread_create(&thread, nullptr, wait_for_stop_signal, nullptr) == 0) {
        pthread_detach(thread);
        return;
    }
    // No thread to wait for the signals: a handler sets the stop flag instead.
    struct sigaction action {};
    action.sa_handler = note_stop_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
}

void show_unknown_argument(const char* argument) { std::fprintf(stderr, "%s\n", argument); }
