#include "common/mib_names.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

namespace {

const char kHead[] = "HOSTILE-MIB DEFINITIONS ::= BEGIN\n"
                     "IMPORTS enterprises, OBJECT-TYPE FROM SNMPv2-SMI TEXTUAL-CONVENTION FROM SNMPv2-TC;\n"
                     "h OBJECT IDENTIFIER ::= { enterprises 4242 }\n";

std::string repeat(int times, const std::function<std::string(int)>& fill)
{
    std::string out;
    for (int i = 0; i < times; ++i) out += fill(i);
    return out;
}

struct HostileCase {
    const char* what;
    std::function<std::string()> body;  // after kHead, before END
    const char* oid;                    // still named after the fault
    const char* name;
    std::size_t problems;
};

// Module texts no vendor writes, but a file in the folder may hold: each
// loads what it can, gives at most one problem line, and never takes the
// reader's stack or time with it.
const HostileCase kHostile[] = {
    {"a chain of values each under the next, far longer than any identifier",
     [] {
         return repeat(20000, [](int i) {
             return "c" + std::to_string(i) + " OBJECT IDENTIFIER ::= { " +
                    (i == 19999 ? std::string("h") : "c" + std::to_string(i + 1)) + " 1 }\n";
         });
     },
     "1.3.6.1.4.1.4242.1.1", "HOSTILE-MIB::c19998", 1},
    {"conventions nested in one SYNTAX", [] { return "T ::= " + std::string(
                 repeat(5000, [](int) { return "TEXTUAL-CONVENTION STATUS current DESCRIPTION \"x\" SYNTAX "; })) + "INTEGER\n"; },
     "1.3.6.1.4.1.4242", "HOSTILE-MIB::h", 1},
    {"an arc past 2^32-1", [] { return std::string("big OBJECT IDENTIFIER ::= { h 4294967296 }\n"); },
     "1.3.6.1.4.1.4242.9", "HOSTILE-MIB::h.9", 1},
    {"an enumeration past 2^63-1",
     [] { return std::string("e OBJECT-TYPE SYNTAX INTEGER { a(9223372036854775808) } ::= { h 2 }\n"); },
     "1.3.6.1.4.1.4242", "HOSTILE-MIB::h", 1},
    {"a string never closed", [] { return std::string("s OBJECT-TYPE DESCRIPTION \"open\n ::= { h 3 }\n"); },
     "1.3.6.1.4.1.4242.3", "HOSTILE-MIB::h.3", 1},
    {"a line break quoted in the fault", [] { return std::string("\"x\n[fake line]\" OBJECT IDENTIFIER ::= { h 5 }\n"); },
     "1.3.6.1.4.1.4242.5", "HOSTILE-MIB::h.5", 1},
    {"a value that names itself", [] { return std::string("x OBJECT IDENTIFIER ::= { x 1 }\n"); },
     "1.3.6.1.4.1.4242", "HOSTILE-MIB::h", 1},
};

TEST(MibNames, HostileModulesLoadWhatTheyCanWithOneLineEach)
{
    for (const HostileCase& c : kHostile) {
        std::vector<MibProblem> problems;
        const auto names = load_mib_texts({{"hostile.txt", kHead + c.body() + "END\n"}}, problems);
        char name[256];
        EXPECT_TRUE(names->name(c.oid, name, sizeof name)) << c.what;
        EXPECT_STREQ(c.name, name) << c.what;
        EXPECT_EQ(c.problems, problems.size()) << c.what;
        for (const MibProblem& p : problems) EXPECT_EQ(mib_problem_text(p).find_first_of("\r\n"), std::string::npos) << c.what;
    }
}

TEST(MibNames, NotificationOfAV1TrapIsItsTrapTypeOrNotificationType)
{
    std::vector<MibProblem> problems;
    const auto names = load_mib_texts(
        {{"v1.txt", "V1-MIB DEFINITIONS ::= BEGIN\n"
                    "IMPORTS enterprises FROM RFC1155-SMI TRAP-TYPE FROM RFC-1215;\n"
                    "acme OBJECT IDENTIFIER ::= { enterprises 4243 }\n"
                    "acmeFan TRAP-TYPE ENTERPRISE { acme 7 } DESCRIPTION \"fan\" ::= 2\n"
                    "acmeDown TRAP-TYPE ENTERPRISE acme DESCRIPTION \"down\" ::= 3\n"
                    "END\n"},
         {"v2.txt", "V2-MIB DEFINITIONS ::= BEGIN\n"
                    "IMPORTS enterprises, NOTIFICATION-TYPE FROM SNMPv2-SMI;\n"
                    "box OBJECT IDENTIFIER ::= { enterprises 4244 }\n"
                    "boxEvents OBJECT IDENTIFIER ::= { box 2 }\n"
                    "boxHot NOTIFICATION-TYPE STATUS current DESCRIPTION \"hot\" ::= { boxEvents 5 }\n"
                    "END\n"}},
        problems);
    EXPECT_TRUE(problems.empty());
    struct Row {
        const char* enterprise;
        std::int32_t generic;
        std::uint32_t specific;
        const char* name;
    } rows[] = {
        {"1.3.6.1.4.1.4243", 6, 3, "V1-MIB::acmeDown"},
        {"1.3.6.1.4.1.4243.7", 6, 2, "V1-MIB::acmeFan"},
        {"1.3.6.1.4.1.4244.2", 6, 5, "V2-MIB::boxHot"},  // RFC 3584 translation without the 0 arc
        {"1.3.6.1.4.1.4244.2", 6, 9, "V2-MIB::boxEvents.0.9"},
        {"1.3.6.1.4.1.4243", 3, 0, "IF-MIB::linkUp"},
        {"1.3.6.1.4.1.4243", 0, 0, "SNMPv2-MIB::coldStart"},
    };
    for (const Row& row : rows) {
        TrapRecord record{};
        std::strcpy(record.enterprise, row.enterprise);
        record.generic_trap = row.generic;
        record.specific_trap = row.specific;
        char name[256];
        names->notification_name(record, name, sizeof name);
        EXPECT_STREQ(row.name, name) << row.enterprise << " " << row.specific;
    }
}

} // namespace
