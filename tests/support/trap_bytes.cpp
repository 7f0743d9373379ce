#include "tests/support/trap_bytes.h"

#include <cstring>

Bytes tlv(std::uint8_t tag, const Bytes& content)
{
    Bytes out{tag};
    const std::size_t n = content.size();
    if (n < 0x80) {
        out.push_back(static_cast<std::uint8_t>(n));
    } else if (n < 0x100) {
        out.insert(out.end(), {0x81, static_cast<std::uint8_t>(n)});
    } else {
        out.insert(out.end(), {0x82, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)});
    }
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes octets(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes from_hex(const std::string& hex)
{
    Bytes out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::string to_hex(const std::uint8_t* data, std::size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < size; ++i) out += {digits[data[i] >> 4], digits[data[i] & 15]};
    return out;
}

Bytes oid(std::initializer_list<std::uint32_t> arcs)
{
    Bytes out{0x2B};
    for (std::uint32_t arc : arcs) {
        Bytes groups{static_cast<std::uint8_t>(arc & 0x7F)};
        for (arc >>= 7; arc != 0; arc >>= 7) groups.insert(groups.begin(), static_cast<std::uint8_t>(0x80 | (arc & 0x7F)));
        out.insert(out.end(), groups.begin(), groups.end());
    }
    return tlv(0x06, out);
}

Bytes longest_oid_content()
{
    Bytes content{0x2B};
    for (int i = 0; i < 127; ++i) content.insert(content.end(), {0x8F, 0xFF, 0xFF, 0xFF, 0x7F});
    return content;
}

std::string longest_oid_text(int arcs_after_1_3)
{
    return arcs_after_1_3 == 0 ? "1.3" : longest_oid_text(arcs_after_1_3 - 1) + ".4294967295";
}

Bytes integer(std::int32_t value)
{
    Bytes out;
    std::uint32_t v = static_cast<std::uint32_t>(value);
    for (int i = 3; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    while (out.size() > 1 && ((out[0] == 0x00 && !(out[1] & 0x80)) || (out[0] == 0xFF && (out[1] & 0x80))))
        out.erase(out.begin());
    return tlv(0x02, out);
}

Bytes binding(const Bytes& name, const Bytes& value) { return tlv(0x30, cat({name, value})); }

Bytes make_trap(int generic, int specific, const Bytes& bindings)
{
    const Bytes pdu = cat({oid({6, 1, 4, 1, 311}), tlv(0x40, {10, 0, 0, 1}), integer(generic),
                           integer(specific), tlv(0x43, {0x64}),
                           bindings.empty() ? Bytes{} : tlv(0x30, bindings)});
    return tlv(0x30, cat({integer(0), tlv(0x04, octets("public")), tlv(0xA4, pdu)}));
}

Bytes make_v2c(std::uint8_t pdu, const Bytes& request_id, const Bytes& bindings)
{
    const Bytes body = cat({request_id, integer(0), integer(0), tlv(0x30, bindings)});
    return tlv(0x30, cat({integer(1), tlv(0x04, octets("public")), tlv(pdu, body)}));
}

Bytes notification_start(const Bytes& ticks, const Bytes& trap_oid)
{
    return cat({binding(oid({6, 1, 2, 1, 1, 3, 0}), tlv(0x43, ticks)), binding(oid({6, 1, 6, 3, 1, 1, 4, 1, 0}), trap_oid)});
}

Bytes example_trap()
{
    return {0x30, 0x37, 0x02, 0x01, 0x00, 0x04, 0x06, 'p',  'u',  'b',  'l',  'i',  'c',  0xA4, 0x2A,
            0x06, 0x07, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x40, 0x04, 0x0A, 0x00, 0x00, 0x01,
            0x02, 0x01, 0x06, 0x02, 0x01, 0x01, 0x43, 0x01, 0x64, 0x30, 0x10, 0x30, 0x0E, 0x06, 0x08,
            0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x05, 0x00, 0x04, 0x02, 0x75, 0x70};
}

TrapFrame make_frame(const Bytes& datagram, std::uint32_t time)
{
    TrapFrame frame{};
    frame.time = time;
    frame.length = static_cast<std::uint32_t>(datagram.size());
    if (!datagram.empty())
        std::memcpy(frame.data, datagram.data(), datagram.size() < kFrameDataSize ? datagram.size() : kFrameDataSize);
    return frame;
}
