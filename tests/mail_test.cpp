#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "platform/sockets.h"
#include "service/mail/jis_converter.h"
#include "service/mail/send_mail.h"
#include "tests/support/tcp_listener.h"
#include "tests/support/test_platform.h"

namespace {

SocketsRuntime sockets;

std::string convert(const std::string& source, std::size_t capacity = 2048)
{
    JisConverter converter;
    converter.start(source.c_str());
    std::string out;
    std::vector<char> chunk(capacity);
    for (std::size_t n; (n = converter.next(chunk.data(), capacity)) > 0;) out.append(chunk.data(), n);
    return out;
}

TEST(JisConverter, Cases)
{
    struct Case {
        const char* what;
        std::string source;
        std::string jis;
    } cases[] = {
        {"ASCII", "AB", "AB"},
        {"kanji", "\x8E\xF3\x90\x4D", "\x1B\x24\x42\x3C\x75\x3F\x2E\x1B\x28\x42"},
        {"half-width katakana", "\xB1", "\x1B\x28\x49\x31\x1B\x28\x42"},
        {"lead byte E0", "\xE0\x40", "\x1B\x24\x42\x5F\x21\x1B\x28\x42"},
        {"mixed line", "a\x83\x65\xB1\r\n", "a\x1B\x24\x42\x25\x46\x1B\x28\x49\x31\x1B\x28\x42\r\n"},
        {"empty", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(convert(c.source), c.jis);
    }
}

TEST(JisConverter, PiecesJoinToTheWhole)
{
    std::string source;
    for (int i = 0; i < 900; ++i) source += i % 7 == 0 ? "x\xB1" : "\x8E\xF3";
    const std::string whole = convert(source);
    ASSERT_GT(whole.size(), 2048u);
    for (std::size_t capacity : {1u, 2u, 5u, 7u, 2048u}) EXPECT_EQ(convert(source, capacity), whole) << capacity;
}

// A scripted SMTP server: sends `greeting`, then one reply (a list of chunks
// sent with a pause between them) per command line, or per data block after
// a 354 reply. Records every byte the client sent.
class ScriptedServer {
public:
    ScriptedServer(std::vector<std::string> greeting, std::vector<std::vector<std::string>> replies)
        : thread_([this, greeting, replies] { serve(greeting, replies); })
    {
    }
    ~ScriptedServer()
    {
        if (thread_.joinable()) thread_.join();
    }
    int port() const { return listener_.port(); }
    std::string transcript()
    {
        thread_.join();
        return transcript_;
    }

private:
    void send_chunks(const std::vector<std::string>& chunks)
    {
        for (std::size_t i = 0; i < chunks.size(); ++i) {
            if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(150));
            listener_.send(chunks[i]);
        }
    }
    // Waits for the next unit: a line, or a data block ending in CR LF . CR LF.
    bool next_unit(std::string& pending, bool data)
    {
        const std::string end = data ? "\r\n.\r\n" : "\r\n";
        for (int waits = 0; pending.find(end) == std::string::npos; ++waits) {
            const std::string got = listener_.receive(3000);
            if (got.empty()) return false;
            transcript_ += got;
            pending += got;
        }
        pending.erase(0, pending.find(end) + end.size());
        return true;
    }
    void serve(std::vector<std::string> greeting, std::vector<std::vector<std::string>> replies)
    {
        if (!listener_.accept_one()) return;
        send_chunks(greeting);
        std::string pending;
        bool data = false;
        for (const auto& reply : replies) {
            if (!next_unit(pending, data)) break;
            send_chunks(reply);
            data = reply[0].compare(0, 3, "354") == 0;
        }
        for (std::string got; !(got = listener_.receive(1000)).empty();) transcript_ += got;
        listener_.close_connection();
    }

    TcpListener listener_;
    std::string transcript_;
    std::thread thread_;
};

std::string hello_line()
{
    char name[128];
    local_host_name(name, sizeof name);
    return std::string("HELO ") + name + "\r\n";
}

const std::vector<std::vector<std::string>> kAllGood = {{"250 hello\r\n"}, {"250 ok\r\n"}, {"250 ok\r\n"},
                                                        {"354 go\r\n"},    {"250 queued\r\n"}, {"221 bye\r\n"}};

TEST(SendMail, WholeDialogueByteForByte)
{
    ScriptedServer server({"220 test ESMTP\r\n"}, kAllGood);
    SendMail mail("trap@example.org", "noc@example.org");
    ASSERT_EQ(mail.open(server.port(), "127.0.0.1"), 0);
    mail.set_subject("SNMP Trap 2005/06/07 17:09:10");
    EXPECT_EQ(mail.send("line one\r\n\x8E\xF3\x90\x4D\r\n"), 0);
    const std::string t = server.transcript();
    const std::string head = hello_line() + "MAIL FROM: trap@example.org\r\nRCPT TO: noc@example.org\r\nDATA\r\n"
                             "Subject: SNMP Trap 2005/06/07 17:09:10\r\nFrom: trap@example.org\r\nTo: noc@example.org\r\n";
    ASSERT_EQ(t.substr(0, head.size()), head);
    const std::string rest = t.substr(head.size());
    EXPECT_TRUE(std::regex_match(rest, std::regex(
        "Date: (Mon|Tue|Wed|Thu|Fri|Sat|Sun), [0-9]{2} [A-Z][a-z]{2} [0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2} [+-][0-9]{2}00\r\n"
        "X-Mailer: Orvel Trap Receiver SendMail Class V1\\.0\r\n"
        "Content-Type: text/plain; charset=iso-2022-jp\r\n\r\n"
        "line one\r\n\x1B\\$B<u\\?\\.\x1B\\(B\r\n\\.\r\nQUIT\r\n"))) << rest;
}

TEST(SendMail, LongBodyArrivesWhole)
{
    std::string body;
    for (int i = 0; i < 400; ++i) body += "\x83g\x83\x89\x83" "b\x83v \xB1\xB2 line\r\n";  // escapes on every line
    ScriptedServer server({"220 hi\r\n"}, kAllGood);
    SendMail mail("a@b", "c@d");
    ASSERT_EQ(mail.open(server.port(), "127.0.0.1"), 0);
    EXPECT_EQ(mail.send(body.c_str()), 0);
    const std::string wire = convert(body);
    ASSERT_GT(wire.size(), 3 * 2048u);
    EXPECT_NE(server.transcript().find("\r\n\r\n" + wire + ".\r\nQUIT\r\n"), std::string::npos);
}

TEST(SendMail, ReplyRules)
{
    struct Case {
        const char* what;
        std::vector<std::string> greeting;
        std::vector<std::vector<std::string>> replies;
        int result;
    } cases[] = {
        {"continuation, then last line in the next chunk", {"220-first\r\n220-second\r\n", "220 last\r\n"}, kAllGood, 0},
        {"three digits alone decide nothing", {"220\r\n", "220 ready\r\n"}, kAllGood, 0},
        {"400 is success", {"220 hi\r\n"},
         {{"400 odd\r\n"}, {"250 ok\r\n"}, {"250 ok\r\n"}, {"354 go\r\n"}, {"250 ok\r\n"}, {"221 bye\r\n"}}, 0},
        {"421 fails the step, the rest still runs", {"220 hi\r\n"},
         {{"421 busy\r\n"}, {"250 ok\r\n"}, {"250 ok\r\n"}, {"354 go\r\n"}, {"250 ok\r\n"}, {"221 bye\r\n"}}, -1},
        {"refused recipient, DATA still sent", {"220 hi\r\n"},
         {{"250 hello\r\n"}, {"250 ok\r\n"}, {"550 no such user\r\n"}, {"354 go\r\n"}, {"250 ok\r\n"}, {"221 bye\r\n"}}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedServer server(c.greeting, c.replies);
        SendMail mail("a@b", "c@d");
        ASSERT_EQ(mail.open(server.port(), "127.0.0.1"), 0);
        EXPECT_EQ(mail.send("x"), c.result);
        const std::string t = server.transcript();
        EXPECT_NE(t.find("DATA\r\n"), std::string::npos);
        EXPECT_NE(t.find("\r\nx\r\n.\r\nQUIT\r\n"), std::string::npos) << t;
    }
}

TEST(SendMail, EmptyRecipient)
{
    ScriptedServer server({"220 hi\r\n"}, {{"250 hello\r\n"}, {"250 ok\r\n"}, {"354 go\r\n"}, {"250 ok\r\n"}, {"221 bye\r\n"}});
    SendMail mail("a@b", "");
    ASSERT_EQ(mail.open(server.port(), "127.0.0.1"), 0);
    EXPECT_EQ(mail.send("abc"), -1);
    const std::string t = server.transcript();
    EXPECT_EQ(t.find("RCPT"), std::string::npos);
    EXPECT_EQ(t.find("To:"), std::string::npos);
    EXPECT_NE(t.find("MAIL FROM: a@b\r\nDATA\r\nFrom: a@b\r\nDate: "), std::string::npos) << t;
    EXPECT_NE(t.find("\r\n\r\nabc\r\n.\r\nQUIT\r\n"), std::string::npos) << t;
}

TEST(SendMail, BodyCannotEndTheDataPhase)
{
    struct Case {
        std::string body;
        std::string wire;
    } cases[] = {
        {".\r\n", "..\r\n"},
        {"a\nb\r\n", "a\r\nb\r\n"},
        {"a\rb", "a\r\nb\r\n"},
        {"abc", "abc\r\n"},
        {"", "\r\n"},
        {"up\r\n.\r\nRSET\r\nMAIL FROM:<x@y>\r\n..x\r\n", "up\r\n..\r\nRSET\r\nMAIL FROM:<x@y>\r\n...x\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        EXPECT_EQ(SendMail::transparent_body(c.body.c_str()) + (c.body.empty() || c.body.back() != '\n' ? "\r\n" : ""),
                  c.wire);
    }
}

TEST(SendMail, DateLineZone)
{
    struct Case {
        const char* tz;
        const char* zone;
    } cases[] = {{"JST-9", " +0900\r\n"}, {"EST5", " -0500\r\n"}, {"IST-5:30", " +0500\r\n"}, {"UTC0", " +0000\r\n"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tz);
        set_time_zone(c.tz);
        const std::string line = SendMail::date_line(1118131750);
        EXPECT_EQ(line.substr(line.size() - 8), c.zone);
    }
    set_time_zone("JST-9");
    EXPECT_EQ(SendMail::date_line(1118131750), "Date: Tue, 07 Jun 2005 17:09:10 +0900\r\n");
}

} // namespace
