// Our own small application framework over plain Win32: an application
// object with a message loop, dialogs made from templates (modal or
// modeless), property sheets and pages, and a datagram socket whose
// notifications arrive as window messages. Texts cross the API as UTF-16
// converted from code page 932, so every Windows shows the same Japanese.
//
// Command dispatch: a dialog maps a control or menu id to one handler with
// on_command(); WM_COMMAND calls it. A dialog procedure only dispatches.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <functional>
#include <map>
#include <string>

// Code page 932 text to UTF-16 and back.
std::wstring widen(const char* text);
std::string narrow(const wchar_t* text);

// The text of string resource `id` in code page 932.
std::string load_string(UINT id);

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Runs InitInstance, then the message loop until WM_QUIT, then ExitInstance.
    int Run();
    static CWinApp* instance() { return instance_; }
    HWND main_window = nullptr;
    // The program's file name without its folder and extension.
    std::string title() const;

protected:
    virtual bool InitInstance() = 0;
    virtual int ExitInstance() { return 0; }

private:
    static CWinApp* instance_;
};

class CDialog {
public:
    explicit CDialog(UINT template_id, HWND owner = nullptr);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    INT_PTR DoModal();
    bool Create();  // modeless
    HWND hwnd() const { return hwnd_; }

protected:
    virtual BOOL OnInitDialog() { return TRUE; }
    // Copies members to the controls (save false) or controls to members (save true).
    virtual void DoDataExchange(bool /*save*/) {}
    virtual void OnOK();
    virtual void OnCancel();
    // Messages other than WM_INITDIALOG and WM_COMMAND; return true when handled.
    virtual bool OnMessage(UINT /*msg*/, WPARAM /*wp*/, LPARAM /*lp*/, INT_PTR& /*result*/) { return false; }

    void on_command(UINT id, std::function<void()> handler) { commands_[id] = std::move(handler); }
    void on_notify(UINT id, UINT code, std::function<void(NMHDR*)> handler) { notifies_[{id, code}] = std::move(handler); }
    bool UpdateData(bool save);
    void EndDialog(INT_PTR result);

    HWND item(int id) const { return GetDlgItem(hwnd_, id); }
    void set_item_text(int id, const char* text) const;
    bool is_checked(int id) const;
    void set_checked(int id, bool on) const;

private:
    static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);
    INT_PTR Dispatch(UINT msg, WPARAM wp, LPARAM lp);

    UINT template_id_;
    HWND owner_;
    HWND hwnd_ = nullptr;
    bool modal_ = false;
    std::map<UINT, std::function<void()>> commands_;
    std::map<std::pair<UINT, UINT>, std::function<void(NMHDR*)>> notifies_;
};

// A socket whose events arrive as messages to a hidden window of its own.
class CAsyncSocket {
public:
    CAsyncSocket();
    virtual ~CAsyncSocket();
    CAsyncSocket(const CAsyncSocket&) = delete;
    CAsyncSocket& operator=(const CAsyncSocket&) = delete;

    // A socket of `type` bound to `port` on every interface, notifying `events`.
    bool Create(UINT port, int type, long events);
    // One datagram: its size, or SOCKET_ERROR; the sender as dotted text and port.
    int ReceiveFrom(void* buffer, int size, std::string& address, UINT& port);
    SOCKET handle() const { return socket_; }
    void Close();

protected:
    virtual void OnReceive(int /*error*/) {}

private:
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    SOCKET socket_ = INVALID_SOCKET;
    HWND window_ = nullptr;
};
