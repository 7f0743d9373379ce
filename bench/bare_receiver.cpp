// The floor: a receive loop that only counts datagrams on a port until one
// begins with 0x7F, then prints the count. bare_receiver PORT
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<unsigned short>(argc > 1 ? std::atoi(argv[1]) : 162));
    if (bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        std::perror("bind");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    unsigned char buffer[4096];
    long count = 0;
    for (;;) {
        const ssize_t n = recv(s, buffer, sizeof buffer, 0);
        if (n > 0 && buffer[0] == 0x7F) break;
        if (n >= 0) ++count;
    }
    std::printf("%ld\n", count);
    return 0;
}
