// TLS client sessions for the mail client: Schannel through SSPI on Windows,
// OpenSSL elsewhere.
//
// A TlsSession works over a TcpSocket that is already connected and that
// outlives it. Order of calls: handshake() once; when it gives Done, send()
// and receive() as often as needed; the destructor frees the session without
// closing the socket. Every wait is bounded by the seconds the caller gives.
//
// With `verify`, the server's certificate chain must lead to a root the
// system trusts (on Windows the Root certificate store; with OpenSSL its
// default paths, which SSL_CERT_FILE and SSL_CERT_DIR can point elsewhere)
// and the certificate must be issued to `host`. Without it any certificate
// is taken. Both sides take TLS 1.2 or later only, and go on without a client
// certificate when a server asks for one it can do without.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/sockets.h"

class TlsSession {
public:
    enum class Handshake {
        Done,       // the session is up
        Untrusted,  // the server's certificate failed the check; `detail` says why
        Failed,     // no session: refused, broken or out of time; `detail` says why
    };
    enum class Read { Data, TimedOut, Closed, Failed };

    explicit TlsSession(TcpSocket& sock);
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    Handshake handshake(const char* host, bool verify, int seconds, std::string& detail);
    // Sends every byte of `data`; false when the session or the socket failed.
    bool send(const void* data, std::size_t size);
    // Up to `size` decrypted bytes into `buffer` (`got` of them), waiting at
    // most `seconds` for them.
    Read receive(void* buffer, std::size_t size, std::size_t& got, int seconds);

    struct State;

private:
    std::unique_ptr<State> state_;
};
