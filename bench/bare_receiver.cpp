// The floor: a receive loop that only counts datagrams on a port until one
// begins with 0x7F, then prints the count. bare_receiver PORT [batch]
// With "batch", it receives as tarnow does: up to 64 datagrams a call with
// recvmmsg, and a receive buffer of 4 MiB.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr unsigned kBatch = 64;
unsigned char g_buffers[kBatch][4096];

// Datagrams received before the stop marker; -1 once it has come.
long count_batch(int s)
{
    mmsghdr messages[kBatch] = {};
    iovec parts[kBatch];
    for (unsigned i = 0; i < kBatch; ++i) {
        parts[i] = iovec{g_buffers[i], sizeof g_buffers[i]};
        messages[i].msg_hdr.msg_iov = &parts[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }
    const int n = recvmmsg(s, messages, kBatch, MSG_WAITFORONE, nullptr);
    for (int i = 0; i < n; ++i) {
        if (messages[i].msg_len > 0 && g_buffers[i][0] == 0x7F) return -1 - i;
    }
    return n > 0 ? n : 0;
}

} // namespace

int main(int argc, char** argv)
{
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    const bool batch = argc > 2 && std::strcmp(argv[2], "batch") == 0;
    if (batch) {
        const int size = 4 * 1024 * 1024;
        setsockopt(s, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<unsigned short>(argc > 1 ? std::atoi(argv[1]) : 162));
    if (bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        std::perror("bind");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    long count = 0;
    for (;;) {
        if (batch) {
            const long n = count_batch(s);
            if (n < 0) {
                count += -1 - n;
                break;
            }
            count += n;
            continue;
        }
        const ssize_t n = recv(s, g_buffers[0], sizeof g_buffers[0], 0);
        if (n > 0 && g_buffers[0][0] == 0x7F) break;
        if (n >= 0) ++count;
    }
    std::printf("%ld\n", count);
    return 0;
}
