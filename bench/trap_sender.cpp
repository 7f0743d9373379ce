// Sends traps at a set rate: trap_sender PORT RATE COUNT [v2c]
// The traps are one enterprise-specific SNMPv1 trap with three bindings, the
// specific-trap number counting up so that every datagram differs; with
// "v2c", the SNMPv2c trap that stands for it, its request-id counting up.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes tlv(unsigned char tag, const Bytes& content)
{
    Bytes out{tag};
    if (content.size() >= 0x80) out.push_back(0x81);
    out.push_back(static_cast<unsigned char>(content.size()));
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

Bytes join(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

const Bytes kCommunity = {0x04, 0x06, 'p', 'u', 'b', 'l', 'i', 'c'};

// The three bindings both versions carry, each a VarBind.
Bytes common_bindings()
{
    const Bytes name1 = {0x06, 0x08, 0x2B, 6, 1, 2, 1, 1, 5, 0};
    const Bytes name2 = {0x06, 0x0A, 0x2B, 6, 1, 4, 1, 0xBF, 0x08, 9, 1, 1};
    const Bytes name3 = {0x06, 0x0A, 0x2B, 6, 1, 4, 1, 0xBF, 0x08, 9, 1, 2};
    const Bytes text = {'c', 'o', 'r', 'e', '-', 's', 'w', 'i', 't', 'c', 'h', '-', '0', '1'};
    return join({tlv(0x30, join({name1, tlv(0x04, text)})), tlv(0x30, join({name2, Bytes{0x02, 0x02, 0x01, 0x2C}})),
                 tlv(0x30, join({name3, Bytes{0x41, 0x01, 0x07}}))});
}

// The SNMPv1 trap, with the specific-trap number as a 4-octet INTEGER at a fixed place.
Bytes make_trap(std::size_t& specific_at)
{
    const Bytes bindings = tlv(0x30, common_bindings());
    const Bytes head = join({Bytes{0x06, 0x09, 0x2B, 6, 1, 4, 1, 0xBF, 0x08, 2, 3}, Bytes{0x40, 4, 10, 0, 0, 1},
                             Bytes{0x02, 0x01, 0x06}});
    const Bytes pdu = tlv(0xA4, join({head, Bytes{0x02, 0x04, 0, 0, 0, 0}, Bytes{0x43, 0x02, 0x30, 0x39}, bindings}));
    const Bytes message = tlv(0x30, join({Bytes{0x02, 0x01, 0x00}, kCommunity, pdu}));
    const std::size_t pdu_content = message.size() - pdu.size() + 2;
    specific_at = pdu_content + head.size() + 2;
    return message;
}

// The SNMPv2c trap for enterprise-specific trap 6 of the same enterprise, with
// its request-id as a 4-octet INTEGER at a fixed place.
Bytes make_v2c_trap(std::size_t& request_id_at)
{
    const Bytes up_time = tlv(0x30, join({Bytes{0x06, 0x08, 0x2B, 6, 1, 2, 1, 1, 3, 0}, Bytes{0x43, 0x02, 0x30, 0x39}}));
    const Bytes trap_oid = tlv(0x30, join({Bytes{0x06, 0x0A, 0x2B, 6, 1, 6, 3, 1, 1, 4, 1, 0},
                                           Bytes{0x06, 0x0B, 0x2B, 6, 1, 4, 1, 0xBF, 0x08, 2, 3, 0, 6}}));
    const Bytes bindings = tlv(0x30, join({up_time, trap_oid, common_bindings()}));
    const Bytes pdu = tlv(0xA7, join({Bytes{0x02, 0x04, 0, 0, 0, 0}, Bytes{0x02, 0x01, 0x00}, Bytes{0x02, 0x01, 0x00},
                                      bindings}));
    const Bytes message = tlv(0x30, join({Bytes{0x02, 0x01, 0x01}, kCommunity, pdu}));
    request_id_at = message.size() - pdu.size() + 2 + 2;
    return message;
}

} // namespace

int main(int argc, char** argv)
{
    const bool v2c = argc == 5 && std::string(argv[4]) == "v2c";
    if (argc != 4 && !v2c) {
        std::fprintf(stderr, "usage: trap_sender PORT RATE COUNT [v2c]\n");
        return 2;
    }
    const int port = std::atoi(argv[1]);
    const double rate = std::atof(argv[2]);
    const long count = std::atol(argv[3]);
    std::size_t specific_at = 0;
    Bytes trap = v2c ? make_v2c_trap(specific_at) : make_trap(specific_at);

    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<unsigned short>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    for (long i = 0; i < count; ++i) {
        const auto due = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(i / rate));
        while (Clock::now() < due) {
            if (due - Clock::now() > std::chrono::microseconds(200)) std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        for (int b = 0; b < 4; ++b) trap[specific_at + b] = static_cast<unsigned char>(i >> (24 - 8 * b));
        sendto(s, trap.data(), trap.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%ld %.3f\n", count, seconds);
    close(s);
    return 0;
}
