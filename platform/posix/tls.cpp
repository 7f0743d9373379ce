#include "platform/tls.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <chrono>
#include <climits>

// OpenSSL reads and writes through a BIO of our own over the TcpSocket, so
// that every read waits no longer than the deadline of the call under way.
struct TlsSession::State {
    TcpSocket& sock;
    SSL_CTX* ctx = nullptr;
    SSL* ssl = nullptr;
    std::chrono::steady_clock::time_point deadline{};
    bool timed_out = false;

    explicit State(TcpSocket& s) : sock(s) {}
    ~State()
    {
        SSL_free(ssl);  // frees the BIO too
        SSL_CTX_free(ctx);
    }
};

namespace {

int seconds_left(std::chrono::steady_clock::time_point deadline)
{
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return 0;
    return static_cast<int>(std::chrono::ceil<std::chrono::seconds>(left).count());
}

int bio_read(BIO* bio, char* buffer, int size)
{
    auto* s = static_cast<TlsSession::State*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    for (;;) {
        const int seconds = seconds_left(s->deadline);
        if (seconds == 0) {
            s->timed_out = true;
            BIO_set_retry_read(bio);  // the session stays usable for a later read
            return -1;
        }
        const TcpSocket::Wait wait = s->sock.wait_readable(seconds);
        if (wait == TcpSocket::Wait::Failed) return -1;
        if (wait == TcpSocket::Wait::Readable) break;
    }
    const long n = s->sock.receive(buffer, static_cast<std::size_t>(size));
    return n < 0 ? -1 : static_cast<int>(n);
}

int bio_write(BIO* bio, const char* data, int size)
{
    auto* s = static_cast<TlsSession::State*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    for (int sent = 0; sent < size;) {
        const long n = s->sock.send(data + sent, static_cast<std::size_t>(size - sent));
        if (n < 0) return -1;
        sent += static_cast<int>(n);
    }
    return size;
}

long bio_ctrl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

BIO_METHOD* socket_method()
{
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "tarnow socket");
        BIO_meth_set_read(m, bio_read);
        BIO_meth_set_write(m, bio_write);
        BIO_meth_set_ctrl(m, bio_ctrl);
        return m;
    }();
    return method;
}

bool is_ip_address(const char* host)
{
    unsigned char address[16];
    return inet_pton(AF_INET, host, address) == 1 || inet_pton(AF_INET6, host, address) == 1;
}

// The name check: a dotted address must be among the certificate's
// addresses, any other text among its DNS names.
bool expect_host(SSL* ssl, const char* host)
{
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
    if (is_ip_address(host)) return X509_VERIFY_PARAM_set1_ip_asc(param, host) == 1;
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    return SSL_set_tlsext_host_name(ssl, host) == 1 && X509_VERIFY_PARAM_set1_host(param, host, 0) == 1;
}

std::string last_error_text()
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return "connection closed";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

} // namespace

TlsSession::TlsSession(TcpSocket& sock) : state_(new State(sock)) {}

TlsSession::~TlsSession() = default;

TlsSession::Handshake TlsSession::handshake(const char* host, bool verify, int seconds, std::string& detail)
{
    State& s = *state_;
    s.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    ERR_clear_error();
    s.ctx = SSL_CTX_new(TLS_client_method());
    if (s.ctx == nullptr || SSL_CTX_set_min_proto_version(s.ctx, TLS1_2_VERSION) != 1 ||
        SSL_CTX_set_default_verify_paths(s.ctx) != 1 || (s.ssl = SSL_new(s.ctx)) == nullptr) {
        detail = last_error_text();
        return Handshake::Failed;
    }
    SSL_set_verify(s.ssl, verify ? SSL_VERIFY_PEER : SSL_VERIFY_NONE, nullptr);
    if (!expect_host(s.ssl, host) && verify) {
        detail = "invalid host name";
        return Handshake::Failed;
    }
    BIO* bio = BIO_new(socket_method());
    if (bio == nullptr) {
        detail = last_error_text();
        return Handshake::Failed;
    }
    BIO_set_data(bio, &s);
    BIO_set_init(bio, 1);
    SSL_set_bio(s.ssl, bio, bio);
    if (SSL_connect(s.ssl) == 1) return Handshake::Done;
    const long verified = SSL_get_verify_result(s.ssl);
    if (verify && verified != X509_V_OK) {
        ERR_clear_error();
        detail = X509_verify_cert_error_string(verified);
        return Handshake::Untrusted;
    }
    detail = s.timed_out ? "timed out" : last_error_text();
    return Handshake::Failed;
}

bool TlsSession::send(const void* data, std::size_t size)
{
    State& s = *state_;
    if (s.ssl == nullptr) return false;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const int piece = size > INT_MAX ? INT_MAX : static_cast<int>(size);
        const int n = SSL_write(s.ssl, p, piece);
        if (n <= 0) {
            ERR_clear_error();
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

TlsSession::Read TlsSession::receive(void* buffer, std::size_t size, std::size_t& got, int seconds)
{
    State& s = *state_;
    got = 0;
    if (s.ssl == nullptr) return Read::Failed;
    s.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    s.timed_out = false;
    const int piece = size > INT_MAX ? INT_MAX : static_cast<int>(size);
    const int n = SSL_read(s.ssl, buffer, piece);
    if (n > 0) {
        got = static_cast<std::size_t>(n);
        return Read::Data;
    }
    const int error = SSL_get_error(s.ssl, n);
    ERR_clear_error();
    if (s.timed_out) return Read::TimedOut;
    return error == SSL_ERROR_ZERO_RETURN ? Read::Closed : Read::Failed;
}
