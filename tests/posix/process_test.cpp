// Programs started and waves played for traps: what the receive loop's
// thread asks of the system, through posix_spawn and threads.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <thread>

#include "platform/process.h"
#include "platform/sound.h"
#include "service/receive_loop.h"
#include "service/service_host.h"
#include "tests/support/posix/ports_lock.h"
#include "tests/support/test_platform.h"

namespace {
std::atomic<bool> g_refuse_threads{false};
}

// While g_refuse_threads is set, the system has no thread to give.
extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*body)(void*), void* arg)
{
    using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    static const auto real = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
    return g_refuse_threads ? EAGAIN : real(thread, attr, body, arg);
}

namespace {

std::string wait_for_file(const std::string& path)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (access(path.c_str(), F_OK) != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// A started program holds the standard three descriptors only, also when the
// receiver holds some that a library opened without close-on-exec.
TEST(StartProgram, PassesOnlyTheStandardDescriptors)
{
    char dir[] = "/tmp/tarnow-process-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string script = std::string(dir) + "/list";
    const std::string listing = std::string(dir) + "/held";
    std::ofstream(script) << "#!/usr/bin/python3 -I\n"  // looks at its descriptors without opening one
                             "import os, sys\n"
                             "held = [fd for fd in range(4096) if os.path.lexists('/proc/self/fd/%d' % fd)]\n"
                             "open(sys.argv[1] + '.part', 'w').write(' '.join(map(str, held)))\n"
                             "os.rename(sys.argv[1] + '.part', sys.argv[1])\n";
    ASSERT_EQ(chmod(script.c_str(), 0700), 0);
    const int inheritable = open("/dev/null", O_RDONLY);
    ASSERT_GE(inheritable, 0);

    ASSERT_TRUE(start_program((script + " " + listing).c_str()));
    const std::string held = wait_for_file(listing);
    close(inheritable);
    EXPECT_EQ(held, "0 1 2");
    unlink(listing.c_str());
    unlink(script.c_str());
    rmdir(dir);
}

// With no thread to be had, starting a program or a wave still returns: the
// program runs, the wave goes unplayed.
TEST(StartProgram, GoesOnWithoutThreads)
{
    char dir[] = "/tmp/tarnow-process-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string mark = std::string(dir) + "/ran";
    const std::string wave = std::string(dir) + "/w.wav";
    // A RIFF/WAVE file of 8 kHz, 16-bit mono PCM with 100 samples.
    std::string riff = "RIFF\xec\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00\x40\x1f\x00\x00"
                       "\x80\x3e\x00\x00\x02\x00\x10\x00" "data\xc8\x00\x00\x00";
    std::ofstream(wave, std::ios::binary) << riff << std::string(200, '\x10');
    g_refuse_threads = true;
    const bool started = start_program(("/usr/bin/touch " + mark).c_str());
    play_wave_file(wave.c_str(), false);
    g_refuse_threads = false;
    EXPECT_TRUE(started);
    wait_for_file(mark);
    EXPECT_EQ(access(mark.c_str(), F_OK), 0);
    unlink(mark.c_str());
    unlink(wave.c_str());
    rmdir(dir);
}

// Where no thread can wait for the stop signals, SIGTERM still ends the loop.
TEST(StopSignals, EndTheLoopWithoutAThread)
{
    PortsLock ports;
    SettingsSandbox settings;
    g_refuse_threads = true;
    stop_on_console_interrupt();
    g_refuse_threads = false;
    ASSERT_EQ(raise(SIGTERM), 0);
    auto loop = std::async(std::launch::async, [] { return run_receive_loop(); });
    if (loop.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        ADD_FAILURE() << "the loop still runs after SIGTERM";
        std::_Exit(1);  // it would hold the test for ever
    }
    EXPECT_EQ(loop.get(), 0);
}

} // namespace
