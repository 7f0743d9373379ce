#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <new>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "platform/sockets.h"
#include "service/mail/jis_converter.h"
#include "service/mail/mail_notification.h"
#include "service/mail/reply_lines.h"
#include "service/mail/send_mail.h"
#include "service/worker_pool.h"
#include "tests/support/tcp_listener.h"
#include "tests/support/test_platform.h"

namespace {

// While armed, the next allocation of a mail body's size or more fails.
std::atomic<bool> g_fail_large_allocation{false};
constexpr std::size_t kLargeAllocation = 60000;

void* allocate(std::size_t size)
{
    if (size >= kLargeAllocation && g_fail_large_allocation.exchange(false)) return nullptr;
    return std::malloc(size == 0 ? 1 : size);
}

} // namespace

// The replacements below allocate with malloc and free with free, which GCC
// takes for a mismatch wherever it inlines them.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size)
{
    if (void* p = allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
#pragma GCC diagnostic pop

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
        {"trail bytes at the ends of their ranges", "\x81\x40\x81\x7E\x81\x80\x81\xFC",
         "\x1B$B\x21\x21\x21\x5F\x21\x60\x22\x7E\x1B(B"},
        {"lone lead byte before CR LF", "a\x81\r\n", "a\x1B$B\x22\x2E\x1B(B\r\n"},
        {"lone lead byte at the end", "\x88", "\x1B$B\x22\x2E\x1B(B"},
        {"lead byte before a byte no trail can be", "\x81\x7F", "\x1B$B\x22\x2E\x1B(B\x7F"},
        {"byte no character starts with", "\xFF" "Admin", "\x1B$B\x22\x2E\x1B(BAdmin"},
        {"0x80 and 0xA0 before katakana and kanji", "\x80\xB1\xA0\x88\x9F", "\x1B$B\x22\x2E\x1B(I\x31\x1B$B\x22\x2E\x30\x21\x1B(B"},
        {"user-defined character with its second byte", "\xF0\x40x\xF9\xFC", "\x1B$B\x22\x2E\x1B(Bx\x1B$B\x22\x2E\x1B(B"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(convert(c.source), c.jis);
    }
}

TEST(JisConverter, PiecesJoinToTheWhole)
{
    std::string source;
    for (int i = 0; i < 900; ++i) source += i % 7 == 0 ? "x\xB1" : i % 5 == 0 ? "\x81\r\n" : "\x8E\xF3";
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

std::string hello_line(const char* verb = "EHLO ")
{
    char name[128];
    local_host_name(name, sizeof name);
    return std::string(verb) + name + "\r\n";
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
        "Message-ID: <[0-9]+\\.[0-9a-f]{16}\\.[0-9]+@example\\.org>\r\n"
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

// The dialogue ends with QUIT at the first refusal: nothing of the message
// goes out without a 354.
TEST(SendMail, ReplyRules)
{
    const std::string ehlo = hello_line(), helo = hello_line("HELO "), mail = "MAIL FROM: a@b\r\n";
    const std::string data = mail + "RCPT TO: c@d\r\nDATA\r\n";
    struct Case {
        const char* what;
        std::vector<std::string> greeting;
        std::vector<std::vector<std::string>> replies;
        std::string sent;  // the whole transcript; for a sent mail, up to DATA
        std::string failure;
    } cases[] = {
        {"continuation, then last line in the next chunk", {"220-first\r\n220-second\r\n", "220 last\r\n"}, kAllGood, ehlo + data, ""},
        {"three digits alone decide", {"220\r\n"}, {{"250\r\n"}, {"250\r\n"}, {"250\r\n"}, {"354\r\n"}, {"250\r\n"}, {"221\r\n"}},
         ehlo + data, ""},
        {"400 is success", {"220 hi\r\n"},
         {{"400 odd\r\n"}, {"250 ok\r\n"}, {"250 ok\r\n"}, {"354 go\r\n"}, {"250 ok\r\n"}, {"221 bye\r\n"}}, ehlo + data, ""},
        {"EHLO refused, HELO taken", {"220 hi\r\n"},
         {{"502 no\r\n"}, {"250 ok\r\n"}, {"250 ok\r\n"}, {"250 ok\r\n"}, {"354 go\r\n"}, {"250 ok\r\n"}, {"221 bye\r\n"}},
         ehlo + helo + data, ""},
        {"greeting refused", {"554 go away\r\n"}, {{"221 bye\r\n"}}, "QUIT\r\n",
         "SMTPサーバーが接続を受け付けませんでした: 554 go away"},
        {"HELO refused", {"220 hi\r\n"}, {{"502 no\r\n"}, {"421 busy\r\n"}, {"221 bye\r\n"}}, ehlo + helo + "QUIT\r\n",
         "SMTPサーバーへのHELOが失敗しました: 421 busy"},
        {"recipient refused", {"220 hi\r\n"}, {{"250 hello\r\n"}, {"250 ok\r\n"}, {"550 no such user\r\n"}, {"221 bye\r\n"}},
         ehlo + mail + "RCPT TO: c@d\r\nQUIT\r\n", "SMTPサーバーへのRCPT TOが失敗しました: 550 no such user"},
        {"DATA answered without 354", {"220 hi\r\n"}, {{"250 hello\r\n"}, {"250 ok\r\n"}, {"250 ok\r\n"}, {"250 ok\r\n"}, {"221 bye\r\n"}},
         ehlo + data + "QUIT\r\n", "SMTPサーバーへのDATAが失敗しました: 250 ok"},
        {"server gone after MAIL FROM", {"220 hi\r\n"}, {{"250 hello\r\n"}}, ehlo + mail,
         "SMTPサーバーへのMAIL FROMが失敗しました: 接続が切れました"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedServer server(c.greeting, c.replies);
        SendMail mail("a@b", "c@d");
        EXPECT_EQ(mail.open(server.port(), "127.0.0.1"), c.greeting[0][0] == '5' ? -1 : 0);
        EXPECT_EQ(mail.send("x"), c.failure.empty() ? 0 : -1);
        EXPECT_EQ(mail.failure(), c.failure);
        const std::string t = server.transcript();
        if (c.failure.empty()) {
            EXPECT_EQ(t.substr(0, c.sent.size()), c.sent);
            EXPECT_NE(t.find("\r\nx\r\n.\r\nQUIT\r\n"), std::string::npos) << t;
        } else {
            EXPECT_EQ(t, c.sent);
        }
    }
}

// However a reply is cut into reads, the verdict is the one of its first
// deciding line.
TEST(ReplyLines, AnyCutGivesTheVerdictOfTheWhole)
{
    struct Case {
        std::string reply;
        Verdict verdict;
    } cases[] = {
        {"220 hi\r\n", Verdict::Success},
        {"250-hello\r\n250 ok\r\n", Verdict::Success},
        {"554 no\r\n", Verdict::Failure},
        {"400\todd\n", Verdict::Success},
        {"401 busy\r\n", Verdict::Failure},
        {"22\r\n0 hi\r\n", Verdict::Undecided},
        {"220\r\n", Verdict::Success},
        {"250-x\r\n554\r\n", Verdict::Failure},
        {"220-" + std::string(3000, 'x') + "\r\n554 full\r\n", Verdict::Failure},
        {"220 done\r\n554 after the verdict\r\n", Verdict::Success},
    };
    for (const Case& c : cases) {
        for (std::size_t cut = 0; cut <= c.reply.size(); ++cut) {
            SCOPED_TRACE(c.reply.substr(0, 40) + " cut at " + std::to_string(cut));
            ReplyLines lines;
            Verdict verdict = lines.take(c.reply.data(), cut);
            if (verdict == Verdict::Undecided) verdict = lines.take(c.reply.data() + cut, c.reply.size() - cut);
            EXPECT_EQ(verdict, c.verdict);
        }
        ReplyLines bytes;
        Verdict verdict = Verdict::Undecided;
        for (std::size_t i = 0; i < c.reply.size() && verdict == Verdict::Undecided; ++i)
            verdict = bytes.take(&c.reply[i], 1);
        EXPECT_EQ(verdict, c.verdict) << "byte by byte: " << c.reply.substr(0, 40);
    }
}

// Each reply has one deadline and one size cap, however it is cut into reads.
TEST(SendMail, ReplyLimits)
{
    SendMail::Limits quick;
    quick.reply_seconds = 1;
    std::vector<std::string> trickle{"220-slow"};
    trickle.insert(trickle.end(), 20, ".");  // the server pauses between pieces: 3 seconds in all
    trickle.push_back("\r\n220 ok\r\n");
    struct Case {
        const char* what;
        std::vector<std::string> greeting;
        SendMail::Limits limits;
        int result;
    } cases[] = {
        {"a reply still trickling in at its deadline fails", trickle, quick, -1},
        {"a reply beyond the size cap fails", {"220-" + std::string(70000, 'x') + "\r\n220 ok\r\n"}, {}, -1},
        {"a long reply within the cap is read to its last line", {"220-" + std::string(60000, 'x') + "\r\n220 ok\r\n"}, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedServer server(c.greeting, {});
        SendMail mail("a@b", "c@d");
        mail.set_limits(c.limits);
        EXPECT_EQ(mail.open(server.port(), "127.0.0.1"), c.result);
    }
}

// Eight mails at once, every other one refused: each judges its own replies,
// long ones that take many reads included.
TEST(SendMail, SimultaneousMailsJudgeTheirOwnReplies)
{
    constexpr int kMails = 8;
    constexpr int kRounds = 200;
    std::atomic<int> misjudged{0};
    std::vector<std::thread> clients;
    for (int m = 0; m < kMails; ++m) {
        clients.emplace_back([&misjudged, m] {
            const bool refused = m % 2 == 1;
            std::string continued;
            for (int i = 0; i < 2000; ++i) continued += refused ? "554-\r\n" : "220-\r\n";
            std::string last;
            for (int i = 0; i < 300; ++i) last += refused ? "554-\r\n" : "220-\r\n";
            last += refused ? "554 busy\r\n" : "220 ready\r\n";
            TcpListener listener;
            std::thread server([&] {
                for (int i = 0; i < kRounds && listener.accept_one(); ++i) {
                    listener.send(continued);
                    listener.send(last);
                }
                listener.close_connection();
            });
            for (int i = 0; i < kRounds; ++i) {
                SendMail mail("a@b", "c@d");
                if (mail.open(listener.port(), "127.0.0.1") != (refused ? -1 : 0)) ++misjudged;
            }
            server.join();
        });
    }
    for (std::thread& client : clients) client.join();
    EXPECT_EQ(misjudged.load(), 0);
}

// Whatever bytes end the body, the line holding one period follows a CR LF
// and the server accepts the mail.
TEST(SendMail, DataEndsAfterAnyBody)
{
    struct Case {
        const char* what;
        std::string body;
        std::string wire;
    } cases[] = {
        {"lone lead byte before the last line end", "ok\r\n\x81\r\n", "ok\r\n\x1B$B\x22\x2E\x1B(B\r\n"},
        {"lone lead byte ends the body", "x\xE0", "x\x1B$B\x22\x2E\x1B(B\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedServer server({"220 hi\r\n"}, kAllGood);
        SendMail mail("a@b", "c@d");
        ASSERT_EQ(mail.open(server.port(), "127.0.0.1"), 0);
        EXPECT_EQ(mail.send(c.body.c_str()), 0);
        EXPECT_NE(server.transcript().find("\r\n\r\n" + c.wire + ".\r\nQUIT\r\n"), std::string::npos);
    }
}

TEST(SendMail, EmptyRecipient)
{
    ScriptedServer server({"220 hi\r\n"}, {{"250 hello\r\n"}, {"250 ok\r\n"}, {"221 bye\r\n"}});
    SendMail mail("a@b", "");
    ASSERT_EQ(mail.open(server.port(), "127.0.0.1"), 0);
    EXPECT_EQ(mail.send("abc"), -1);
    EXPECT_EQ(server.transcript(), hello_line() + "MAIL FROM: a@b\r\nQUIT\r\n");
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

// The extensions and the log line are read from whatever the server sent.
TEST(ReplyLines, AuthOfferAndLoggedLine)
{
    struct Case {
        std::string reply;
        bool plain, login;
        std::string logged;
    } cases[] = {
        {"250-mail.example\r\n250-AUTH PLAIN LOGIN\r\n250 HELP\r\n", true, true, "250 HELP"},
        {"250-x\r\n250-auth login\r\n250 ok\r\n", false, true, "250 ok"},
        {"250-x\r\n250-AUTH=LOGIN\r\n250 AUTH CRAM-MD5\r\n", false, true, "250 AUTH CRAM-MD5"},
        {"250-x\r\n250-XAUTH PLAIN\r\n250 AUTHPLAIN\r\n", false, false, "250 AUTHPLAIN"},
        {"535 bad\x1B[2J\x07 " + std::string(300, 'x') + "\r\n", false, false, "535 bad?[2J? " + std::string(187, 'x')},
        {"250-only continuation\r\n", false, false, ""},
        {"250-x\r\n250\r\n", false, false, "250"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply.substr(0, 40));
        const AuthOffer offer = auth_offer(c.reply);
        EXPECT_EQ(offer.plain, c.plain);
        EXPECT_EQ(offer.login, c.login);
        EXPECT_EQ(deciding_line(c.reply), c.logged);
    }
}

// The TLS handshake has the reply deadline: a server that takes the
// connection and never answers ends the dialogue with a log line.
TEST(SendMail, SilentServerEndsTheHandshake)
{
    for (int mode : {1, 2}) {
        SCOPED_TRACE(mode);
        TcpListener listener;
        std::string seen;
        std::thread server([&] {  // answers EHLO and STARTTLS, then holds the connection until the client drops it
            if (!listener.accept_one()) return;
            if (mode == 1) listener.send("220 hi\r\n");
            for (std::string got; !(got = listener.receive(10000)).empty();) {
                seen += got;
                if (got.compare(0, 5, "EHLO ") == 0) listener.send("250 hello\r\n");
                if (got == "STARTTLS\r\n") listener.send("220 go ahead\r\n");
            }
            listener.close_connection();
        });
        SendMail mail("a@b", "c@d");
        SendMail::Limits quick;
        quick.reply_seconds = 1;
        mail.set_limits(quick);
        SendMail::Security security;
        security.mode = mode;
        security.auth = true;
        security.password = "Secret-1";
        mail.set_security(security);
        EXPECT_EQ(mail.open(listener.port(), "127.0.0.1"), mode == 1 ? 0 : -1);
        EXPECT_EQ(mail.send("x"), -1);
        EXPECT_EQ(mail.failure(), "SMTPサーバーとのTLS接続に失敗しました: timed out");
        server.join();
        EXPECT_EQ(seen.find("Secret-1"), std::string::npos);
        EXPECT_EQ(seen.find("MAIL FROM"), std::string::npos) << seen;
        if (mode == 1) {
            EXPECT_EQ(seen.find("STARTTLS\r\n\x16\x03"), hello_line().size()) << seen;
        }
    }
}

TEST(SendMail, MessageIdDomain)
{
    char host[128];
    ASSERT_TRUE(local_host_name(host, sizeof host));
    struct Case {
        const char* from;
        std::string domain;
    } cases[] = {{"trap@example.org", "example.org"}, {"a@b@mail.example", "mail.example"},
                 {"no-domain", host}, {"x@bad domain>", host}, {"x@", host}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.from);
        const std::string first = SendMail::message_id_line(1118131750, c.from);
        EXPECT_TRUE(std::regex_match(first, std::regex("Message-ID: <1118131750\\.[0-9a-f]{16}\\.[0-9]+@(.*)>\r\n")));
        EXPECT_EQ(first.substr(first.find('@') + 1), c.domain + ">\r\n");
        EXPECT_NE(SendMail::message_id_line(1118131750, c.from), first);
    }
}

ServiceSettings& mail_settings(int smtp_port)
{
    static ServiceSettings settings{};  // outlives every mail worker
    settings.f_email = 1;
    settings.smtpport = smtp_port;
    std::strcpy(settings.smtpname, "127.0.0.1");
    std::strcpy(settings.mail_from, "trap@example.org");
    std::strcpy(settings.mail_to, "noc@example.org");
    return settings;
}

TrapRecord trap_received_at(const char* time)
{
    TrapRecord trap{};
    std::strcpy(trap.recv_time, time);
    trap.generic_trap = 6;
    return trap;
}

// A worker that runs out of memory drops its mail; the program and the next
// mail carry on.
TEST(MailNotification, AllocationFailureDropsOnlyItsMail)
{
    ScriptedServer server({"220 hi\r\n"}, kAllGood);
    const ServiceSettings& settings = mail_settings(server.port());
    g_fail_large_allocation = true;
    EXPECT_EQ(start_mail_notification(settings, trap_received_at("2005/06/07 08:09:10")), 0);
    for (int i = 0; i < 1000 && g_fail_large_allocation; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_FALSE(g_fail_large_allocation) << "the worker allocated no body";
    EXPECT_EQ(start_mail_notification(settings, trap_received_at("2005/06/07 08:09:11")), 0);
    const std::string t = server.transcript();
    EXPECT_NE(t.find("Subject: SNMP Trap 2005/06/07 08:09:11\r\n"), std::string::npos) << t;
    EXPECT_NE(t.find(".\r\nQUIT\r\n"), std::string::npos) << t;
}

// Every mail that is not delivered leaves one line in the log file saying
// why; at a stop, a mail still waiting for its server after the grace.
TEST(MailNotification, EveryUndeliveredMailLogsOneLine)
{
    TcpListener mute;  // connections wait in its backlog, never greeted
    const int refusing = TcpListener().port();  // closed again at once
    const std::string refused = "SMTPサーバーに接続できませんでした: 127.0.0.1:" + std::to_string(refusing);
    struct Case {
        const char* what;
        std::vector<std::vector<std::string>> replies;  // of a scripted server; none: `port`
        int port;
        std::vector<std::string> lines;
        int pop_port = 0;  // POP before SMTP to this port first
    } cases[] = {
        {"delivered", kAllGood, 0, {}},
        {"connection refused", {}, refusing, {refused}},
        {"recipient refused", {{"250 hello\r\n"}, {"250 ok\r\n"}, {"550 no such user\r\n"}, {"221 bye\r\n"}}, 0,
         {"SMTPサーバーへのRCPT TOが失敗しました: 550 no such user"}},
        {"server silent at the stop", {}, mute.port(),
         {"サービスの停止までに送れなかったため、トラップ 1 件のメールを破棄しました。"}},
        {"POP3 server silent at the stop", {}, refusing,
         {"サービスの停止までに送れなかったため、トラップ 1 件のメールを破棄しました。"}, mute.port()},
    };
    const std::string log = testing::TempDir() + "mail_test.log";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<ScriptedServer> server(c.replies.empty() ? nullptr : new ScriptedServer({"220 hi\r\n"}, c.replies));
        ServiceSettings& settings = mail_settings(server ? server->port() : c.port);
        settings.logfile.enabled = 1;
        settings.f_pop3 = c.pop_port != 0;
        settings.pop_port = c.pop_port;
        std::strcpy(settings.pop_server, "127.0.0.1");
        std::snprintf(settings.logfile.path, sizeof settings.logfile.path, "%s", log.c_str());
        std::remove(log.c_str());
        start_mail_notification(settings, trap_received_at("2005/06/07 08:09:10"));
        finish_mail_workers();
        settings.logfile.enabled = settings.f_pop3 = 0;
        std::vector<std::string> lines;
        std::ifstream in(log);
        for (std::string line; std::getline(in, line);) lines.push_back(line.substr(line.find("] ") + 2, line.find('\r') - line.find("] ") - 2));
        EXPECT_EQ(lines, c.lines);
    }
}

// A POP3 server that refuses STLS gets QUIT, no USER nor PASS.
TEST(MailNotification, Pop3RefusedStlsGetsNoPassword)
{
    ScriptedServer server({"+OK ready\r\n"}, {{"-ERR no\r\n"}, {"+OK bye\r\n"}});
    ServiceSettings& settings = mail_settings(0);
    settings.pop_port = server.port();
    std::strcpy(settings.pop_server, "127.0.0.1");
    std::strcpy(settings.pop_user, "noc");
    std::strcpy(settings.pop_pass, "secret");
    settings.smtp_security = 1;
    EXPECT_FALSE(pop_before_smtp(settings));
    settings.smtp_security = 0;
    EXPECT_EQ(server.transcript(), "STLS\r\nQUIT\r\n");
}

// A pool that cannot start a thread still gets its jobs done: by the caller
// when no worker runs, by the running worker otherwise.
// Jobs are done by workers only, never by the caller, whatever threads the
// system refuses; a job that found no thread waits for a retry.
TEST(WorkerPool, JobsAreDoneByWorkersOnly)
{
    struct Case {
        const char* what;
        int threads;  // how many threads the system gives before it refuses
    } cases[] = {{"no thread until a retry", 0}, {"the standing worker, then no more threads", 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto left = std::make_shared<std::atomic<int>>(c.threads);
        auto start = [left](std::function<void()> body) {
            return left->fetch_sub(1) > 0 && WorkerPool<int>::start_detached(std::move(body));
        };
        const std::thread::id caller = std::this_thread::get_id();
        std::atomic<int> done{0};
        std::atomic<int> by_caller{0};
        {
            WorkerPool<int> pool([&](int&) {
                by_caller += std::this_thread::get_id() == caller;
                ++done;
            }, 8, 10, start);
            EXPECT_TRUE(pool.submit(1));
            if (c.threads == 0) {
                EXPECT_EQ(done.load(), 0);  // no thread did it, nor the caller
                *left = 1;
                pool.retry();
            }
            while (done < 1) std::this_thread::yield();  // the first job's worker is idle again
            EXPECT_TRUE(pool.submit(2));
        }  // the destructor waits for the workers
        EXPECT_EQ(done.load(), 2);
        EXPECT_EQ(by_caller.load(), 0);
    }
}

} // namespace
