#include "platform/tls.h"

#define SECURITY_WIN32
#include <windows.h>
#include <wincrypt.h>
#include <schannel.h>
#include <security.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

// Schannel does the protocol; the bytes go through the TcpSocket here, so
// every wait has the deadline of the call under way. The certificate is
// checked here too (manual validation), with the system's SSL chain policy.
struct TlsSession::State {
    TcpSocket& sock;
    CredHandle credentials{};
    CtxtHandle context{};
    bool have_credentials = false;
    bool have_context = false;
    bool up = false;
    bool no_client_certificate = false;  // the server asked for one; go on without
    SecPkgContext_StreamSizes sizes{};
    std::vector<char> incoming;  // received, not yet decrypted
    std::vector<char> plain;     // decrypted, not yet handed out
    std::chrono::steady_clock::time_point deadline{};
    std::wstring host;

    explicit State(TcpSocket& s) : sock(s) {}
    ~State()
    {
        if (have_context) DeleteSecurityContext(&context);
        if (have_credentials) FreeCredentialsHandle(&credentials);
    }
};

namespace {

constexpr std::size_t kMostIncoming = 64 * 1024;  // a TLS record is at most about 16 KiB

enum class Fill { Data, TimedOut, Closed, Failed };

int seconds_left(std::chrono::steady_clock::time_point deadline)
{
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return 0;
    return static_cast<int>(std::chrono::ceil<std::chrono::seconds>(left).count());
}

// Appends what the socket gives before the deadline to `incoming`.
Fill fill(TlsSession::State& s)
{
    if (s.incoming.size() >= kMostIncoming) return Fill::Failed;
    for (;;) {
        const int seconds = seconds_left(s.deadline);
        if (seconds == 0) return Fill::TimedOut;
        const TcpSocket::Wait wait = s.sock.wait_readable(seconds);
        if (wait == TcpSocket::Wait::Failed) return Fill::Failed;
        if (wait == TcpSocket::Wait::Readable) break;
    }
    char buffer[16 * 1024];
    const long n = s.sock.receive(buffer, sizeof buffer);
    if (n < 0 || static_cast<unsigned long>(n) > sizeof buffer) return Fill::Failed;
    if (n == 0) return Fill::Closed;
    s.incoming.insert(s.incoming.end(), buffer, buffer + n);
    return Fill::Data;
}

bool send_all(TcpSocket& sock, const void* data, std::size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const long n = sock.send(p, size);
        if (n < 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string status_text(const char* what, unsigned long status)
{
    char text[64];
    std::snprintf(text, sizeof text, "%s 0x%08lX", what, status);
    return text;
}

std::wstring widen(const char* text)
{
    const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &out[0], n);
    out.resize(static_cast<std::size_t>(n - 1));
    return out;
}

// TLS 1.2 only: nothing older is offered nor taken. The credential structure
// used here (SCHANNEL_CRED) cannot ask for TLS 1.3, and Windows builds that
// lack it refuse the whole credential when its flag is set.
constexpr DWORD kTls12OrLater = SP_PROT_TLS1_2_CLIENT;

constexpr ULONG kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_EXTENDED_ERROR;

// One call of the handshake: feeds what has arrived, sends what Schannel
// answers, keeps the bytes it did not use.
SECURITY_STATUS handshake_step(TlsSession::State& s)
{
    SecBuffer in[2] = {{static_cast<ULONG>(s.incoming.size()), SECBUFFER_TOKEN, s.incoming.data()},
                       {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc in_desc{SECBUFFER_VERSION, 2, in};
    SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc out_desc{SECBUFFER_VERSION, 1, &out};
    ULONG attributes = 0;
    const bool first = !s.have_context;
    const ULONG flags = kContextFlags | (s.no_client_certificate ? ISC_REQ_USE_SUPPLIED_CREDS : 0);
    SECURITY_STATUS status =
        InitializeSecurityContextW(&s.credentials, first ? nullptr : &s.context, &s.host[0], flags, 0, 0,
                                   first ? nullptr : &in_desc, 0, &s.context, &out_desc, &attributes, nullptr);
    if (first && (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_OK)) s.have_context = true;
    if (status == SEC_I_INCOMPLETE_CREDENTIALS && !s.no_client_certificate) {
        // The server asked for a client certificate that it may do without:
        // the same input again, this time saying that none comes.
        if (out.pvBuffer != nullptr) FreeContextBuffer(out.pvBuffer);
        s.no_client_certificate = true;
        return SEC_I_CONTINUE_NEEDED;
    }
    if (status == SEC_E_INCOMPLETE_MESSAGE) return status;
    if (out.pvBuffer != nullptr) {
        const bool sent = out.cbBuffer == 0 || send_all(s.sock, out.pvBuffer, out.cbBuffer);
        FreeContextBuffer(out.pvBuffer);
        if (!sent) return SEC_E_INTERNAL_ERROR;
    }
    if (first) return status;
    if (in[1].BufferType == SECBUFFER_EXTRA && in[1].cbBuffer <= s.incoming.size()) {
        s.incoming.erase(s.incoming.begin(), s.incoming.end() - in[1].cbBuffer);
    } else {
        s.incoming.clear();
    }
    return status;
}

// The server's chain against the Root store and the SSL policy for the host
// name; empty when it passes, else why not. The chain's own trust status is
// looked at too: not every policy provider refuses a chain that ends short
// of a trusted root.
std::string check_certificate(TlsSession::State& s)
{
    PCCERT_CONTEXT certificate = nullptr;
    if (QueryContextAttributesW(&s.context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate) != SEC_E_OK ||
        certificate == nullptr)
        return "no server certificate";
    CERT_CHAIN_PARA chain_para{};
    chain_para.cbSize = sizeof chain_para;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    std::string why;
    if (!CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore, &chain_para, 0, nullptr,
                                 &chain)) {
        why = status_text("CertGetCertificateChain", GetLastError());
    } else {
        SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
        ssl.cbSize = sizeof ssl;
        ssl.dwAuthType = AUTHTYPE_SERVER;
        ssl.pwszServerName = &s.host[0];
        CERT_CHAIN_POLICY_PARA policy{};
        policy.cbSize = sizeof policy;
        policy.pvExtraPolicyPara = &ssl;
        CERT_CHAIN_POLICY_STATUS result{};
        result.cbSize = sizeof result;
        if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &result)) {
            why = status_text("CertVerifyCertificateChainPolicy", GetLastError());
        } else if (result.dwError != 0) {
            why = status_text("certificate", result.dwError);
        } else if (chain->TrustStatus.dwErrorStatus != CERT_TRUST_NO_ERROR) {
            why = status_text("certificate chain", chain->TrustStatus.dwErrorStatus);
        }
        CertFreeCertificateChain(chain);
    }
    CertFreeCertificateContext(certificate);
    return why;
}

// Handshake messages until the context is complete, from the first call on
// (no context yet) or after the server asked for more (TLS 1.3 tickets and
// key updates arrive that way); `detail` says why it failed.
bool run_handshake(TlsSession::State& s, std::string& detail)
{
    SECURITY_STATUS status = handshake_step(s);
    while (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_INCOMPLETE_MESSAGE) {
        if (status == SEC_E_INCOMPLETE_MESSAGE || s.incoming.empty()) {
            const Fill got = fill(s);
            if (got != Fill::Data) {
                detail = got == Fill::TimedOut ? "timed out" : got == Fill::Closed ? "connection closed" : "receive failed";
                return false;
            }
        }
        status = handshake_step(s);
    }
    if (status == SEC_E_OK) return true;
    detail = status_text("InitializeSecurityContext", static_cast<unsigned long>(status));
    return false;
}

} // namespace

TlsSession::TlsSession(TcpSocket& sock) : state_(new State(sock)) {}

TlsSession::~TlsSession() = default;

TlsSession::Handshake TlsSession::handshake(const char* host, bool verify, int seconds, std::string& detail)
{
    State& s = *state_;
    s.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    s.host = widen(host);
    SCHANNEL_CRED credentials{};
    credentials.dwVersion = SCHANNEL_CRED_VERSION;
    credentials.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
    credentials.grbitEnabledProtocols = kTls12OrLater;
    SECURITY_STATUS status =
        AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr,
                                  &credentials, nullptr, nullptr, &s.credentials, nullptr);
    if (status != SEC_E_OK) {
        detail = status_text("AcquireCredentialsHandle", static_cast<unsigned long>(status));
        return Handshake::Failed;
    }
    s.have_credentials = true;
    if (!run_handshake(s, detail)) return Handshake::Failed;
    if (verify) {
        detail = check_certificate(s);
        if (!detail.empty()) return Handshake::Untrusted;
    }
    if (QueryContextAttributesW(&s.context, SECPKG_ATTR_STREAM_SIZES, &s.sizes) != SEC_E_OK) {
        detail = "QueryContextAttributes";
        return Handshake::Failed;
    }
    s.up = true;
    return Handshake::Done;
}

bool TlsSession::send(const void* data, std::size_t size)
{
    State& s = *state_;
    if (!s.up) return false;
    const char* p = static_cast<const char*>(data);
    std::vector<char> record(s.sizes.cbHeader + s.sizes.cbMaximumMessage + s.sizes.cbTrailer);
    while (size > 0) {
        const std::size_t piece = size < s.sizes.cbMaximumMessage ? size : s.sizes.cbMaximumMessage;
        std::memcpy(record.data() + s.sizes.cbHeader, p, piece);
        SecBuffer buffers[4] = {
            {s.sizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
            {static_cast<ULONG>(piece), SECBUFFER_DATA, record.data() + s.sizes.cbHeader},
            {s.sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + s.sizes.cbHeader + piece},
            {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
        if (EncryptMessage(&s.context, 0, &desc, 0) != SEC_E_OK) return false;
        if (!send_all(s.sock, record.data(), buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer))
            return false;
        p += piece;
        size -= piece;
    }
    return true;
}

TlsSession::Read TlsSession::receive(void* buffer, std::size_t size, std::size_t& got, int seconds)
{
    State& s = *state_;
    got = 0;
    if (!s.up) return Read::Failed;
    s.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (s.plain.empty()) {
        if (!s.incoming.empty()) {
            SecBuffer buffers[4] = {{static_cast<ULONG>(s.incoming.size()), SECBUFFER_DATA, s.incoming.data()},
                                    {0, SECBUFFER_EMPTY, nullptr},
                                    {0, SECBUFFER_EMPTY, nullptr},
                                    {0, SECBUFFER_EMPTY, nullptr}};
            SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
            const SECURITY_STATUS status = DecryptMessage(&s.context, &desc, 0, nullptr);
            if (status == SEC_E_OK || status == SEC_I_RENEGOTIATE) {
                std::vector<char> extra;
                for (const SecBuffer& b : buffers) {
                    if (b.BufferType == SECBUFFER_DATA && b.cbBuffer > 0) {
                        const char* data = static_cast<const char*>(b.pvBuffer);
                        s.plain.insert(s.plain.end(), data, data + b.cbBuffer);
                    }
                    if (b.BufferType == SECBUFFER_EXTRA && b.cbBuffer <= s.incoming.size())
                        extra.assign(s.incoming.end() - b.cbBuffer, s.incoming.end());
                }
                s.incoming.swap(extra);
                std::string unused;
                if (status == SEC_I_RENEGOTIATE && !run_handshake(s, unused)) return Read::Failed;
                continue;
            }
            if (status == SEC_I_CONTEXT_EXPIRED) return Read::Closed;  // the server's close_notify
            if (status != SEC_E_INCOMPLETE_MESSAGE) return Read::Failed;
        }
        switch (fill(s)) {
        case Fill::Data: break;
        case Fill::TimedOut: return Read::TimedOut;
        case Fill::Closed: return Read::Closed;
        case Fill::Failed: return Read::Failed;
        }
    }
    got = s.plain.size() < size ? s.plain.size() : size;
    std::memcpy(buffer, s.plain.data(), got);
    s.plain.erase(s.plain.begin(), s.plain.begin() + static_cast<std::ptrdiff_t>(got));
    return Read::Data;
}
