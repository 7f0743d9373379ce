// The Messenger service's NetMessageBufferSend, from a library loaded by name:
// NETAPI32.DLL on Windows, libtarnow-messenger.so elsewhere (none is shipped).
// A Messenger loads the library when made and unloads it when destroyed;
// available() is false when the library or the function is missing, and
// send() then does nothing. send() converts the host name and the message
// (code page 932) to UTF-16 and passes the message without its terminator;
// the result of the call is not looked at.
#pragma once

class Messenger {
public:
    Messenger();
    ~Messenger();
    Messenger(const Messenger&) = delete;
    Messenger& operator=(const Messenger&) = delete;

    bool available() const { return send_ != nullptr; }
    void send(const char* host, const char* message);

private:
    void* library_ = nullptr;
    void* send_ = nullptr;
};
