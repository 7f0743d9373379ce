#include "platform/process.h"

#include "platform/posix/local_text.h"

#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <sys/wait.h>

#include <exception>
#include <thread>

extern char** environ;

namespace {

// Waits for the child so that it leaves no zombie behind. Where no thread
// can be started for that, the next start collects it.
void reap(pid_t pid)
{
    try {
        std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
    } catch (const std::exception&) {  // no thread, or no memory for one
    }
}

// Collects the children that have ended and that no thread waits for.
void collect_ended_children()
{
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
}

} // namespace

bool start_program(const char* command_line)
{
    const std::vector<std::string> args = split_command_line(local_path(command_line).c_str());
    if (args.empty() || args[0].empty()) return false;
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    // The receiver blocks SIGTERM and SIGINT for its stop thread; the program must not inherit that.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
    // Nor any descriptor beyond the standard three: libraries (the sound
    // library's pipes) open some without close-on-exec.
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addclosefrom_np(&files, 3);
    pid_t pid;
    const int rc = posix_spawnp(&pid, argv[0], &files, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) return false;
    collect_ended_children();
    reap(pid);
    return true;
}

// Linux gives each thread a nice value of its own: 10 leaves the others of
// the default 0 about nine tenths of a busy processor.
void lower_thread_priority() { ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 10); }
