// Popup messages to a host's users, from libraries loaded by name.
//
// Windows: the Messenger service's NetMessageBufferSend (NETAPI32.DLL); when
// that is missing or fails for a host (the Messenger service is gone since
// Windows Vista), the Terminal Services API (WTSAPI32.DLL) instead, as
// Windows' own msg command does: the text in a message box, titled with the
// service's name, on each active session of the host, not waited for.
// Elsewhere: NetMessageBufferSend from libtarnow-messenger.so (none is
// shipped).
//
// A Messenger loads the libraries when made and unloads them when destroyed;
// available() is false when no way of sending is there, and send() then does
// nothing. send() converts the host name and the message (code page 932) to
// UTF-16 and passes the message without its terminator.
#pragma once

class Messenger {
public:
    Messenger();
    ~Messenger();
    Messenger(const Messenger&) = delete;
    Messenger& operator=(const Messenger&) = delete;

    bool available() const { return send_ != nullptr || sessions_ != nullptr; }
    void send(const char* host, const char* message);

private:
    struct Sessions;
    void send_to_sessions(wchar_t* host, wchar_t* message);

    void* library_ = nullptr;
    void* send_ = nullptr;
    void* wts_library_ = nullptr;
    Sessions* sessions_ = nullptr;
};
