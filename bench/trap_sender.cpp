// Sends traps at a set rate: trap_sender PORT RATE COUNT [v2c|v3]
// The traps are one enterprise-specific SNMPv1 trap with three bindings, the
// specific-trap number counting up so that every datagram differs; with
// "v2c", the SNMPv2c trap that stands for it, its request-id counting up;
// with "v3", that trap as SNMPv3 authPriv messages of user "bench"
// (HMAC-SHA-256, CFB128-AES-128, passwords "bench-auth-pass" and
// "bench-priv-pass", engine ID kBenchEngineId): a ring of 4096 messages made
// before the clock starts, each with its own msgID, request-id and salt.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "common/usm_keys.h"

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

const Bytes kBenchEngineId = {0x80, 0x00, 0x00, 0x00, 0x01, 0x62, 0x65, 0x6E, 0x63, 0x68};

Bytes integer(std::uint32_t value) { return Bytes{0x02, 0x04, static_cast<unsigned char>(value >> 24),
                                                 static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 8),
                                                 static_cast<unsigned char>(value)}; }

struct BenchKeys {
    std::uint8_t auth[kMaxKeySize];
    std::uint8_t priv[kMaxKeySize];
};

BenchKeys bench_keys()
{
    BenchKeys k{};
    std::uint8_t ku[kMaxKeySize];
    const std::string auth = "bench-auth-pass", priv = "bench-priv-pass";
    password_to_key(AuthProtocol::Sha256, auth.data(), auth.size(), ku);
    localize_key(AuthProtocol::Sha256, ku, kBenchEngineId.data(), kBenchEngineId.size(), k.auth);
    password_to_key(AuthProtocol::Sha256, priv.data(), priv.size(), ku);
    localize_priv_key(AuthProtocol::Sha256, PrivProtocol::Aes128, ku, kBenchEngineId.data(), kBenchEngineId.size(), k.priv);
    return k;
}

// One authPriv message: the v2c trap's PDU in a scoped PDU, encrypted, signed.
Bytes make_v3_trap(const BenchKeys& keys, std::uint32_t n)
{
    std::size_t request_id_at = 0;
    Bytes v2c = make_v2c_trap(request_id_at);
    for (int b = 0; b < 4; ++b) v2c[request_id_at + b] = static_cast<unsigned char>(n >> (24 - 8 * b));
    const Bytes pdu(v2c.begin() + (request_id_at - 4), v2c.end());
    const Bytes scoped = tlv(0x30, join({tlv(0x04, kBenchEngineId), tlv(0x04, {}), pdu}));
    const std::uint32_t boots = 1, time = 1000 + n / 1000;
    Bytes sealed(scoped.size() + 8);
    std::size_t sealed_size = 0;
    std::uint8_t salt[kPrivParamsSize];
    encrypt_scoped_pdu(PrivProtocol::Aes128, keys.priv, boots, time, scoped.data(), scoped.size(), sealed.data(),
                       sealed_size, salt);
    sealed.resize(sealed_size);
    const Bytes user = {'b', 'e', 'n', 'c', 'h'};
    const Bytes usm = tlv(0x30, join({tlv(0x04, kBenchEngineId), integer(boots), integer(time), tlv(0x04, user),
                                     tlv(0x04, Bytes(24, 0)), tlv(0x04, Bytes(salt, salt + 8))}));
    const Bytes global = tlv(0x30, join({integer(n), integer(65507), Bytes{0x04, 0x01, 0x03}, Bytes{0x02, 0x01, 0x03}}));
    Bytes message = tlv(0x30, join({Bytes{0x02, 0x01, 0x03}, global, tlv(0x04, usm), tlv(0x04, sealed)}));
    const Bytes zeros(24, 0);
    const auto at = std::search(message.begin(), message.end(), zeros.begin(), zeros.end()) - message.begin();
    std::uint8_t mac[kMaxMacSize];
    message_mac(AuthProtocol::Sha256, keys.auth, message.data(), message.size(), mac);
    std::copy(mac, mac + 24, message.begin() + at);
    return message;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string kind = argc == 5 ? argv[4] : "v1";
    const bool v2c = kind == "v2c", v3 = kind == "v3";
    if (argc != 4 && !v2c && !v3) {
        std::fprintf(stderr, "usage: trap_sender PORT RATE COUNT [v2c|v3]\n");
        return 2;
    }
    std::vector<Bytes> ring;
    const BenchKeys keys = v3 ? bench_keys() : BenchKeys{};
    for (std::uint32_t n = 0; v3 && n < 4096; ++n) ring.push_back(make_v3_trap(keys, n));
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
        const Bytes& datagram = v3 ? ring[static_cast<std::size_t>(i) % ring.size()] : trap;
        sendto(s, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%ld %.3f\n", count, seconds);
    close(s);
    return 0;
}
