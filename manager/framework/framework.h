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
#include <commctrl.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

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

// Moves values between a dialog's controls and its members, in one direction.
// Taking values from the controls validates them: the first refusal shows
// its message, puts the focus back on the control and ends the exchange
// (every later call does nothing), and ok() turns false.
class CDataExchange {
public:
    CDataExchange(HWND dialog, bool save) : save(save), dialog_(dialog) {}
    const bool save;
    bool ok() const { return !failed_; }

    void check(int id, int& value);
    // The index of the ticked radio button of the group that starts at `first`; -1 for none.
    void radio(int first, int& value);
    // A text of at most `limit` characters; the limit also becomes the edit's text limit.
    void text(int id, std::string& value, int limit);
    // An unsigned decimal number from `low` to `high`.
    void number(int id, unsigned& value, unsigned low, unsigned high);
    // The index of the selected entry of a drop-down list; -1 for none.
    void choice(int id, int& value);
    // Refuses the control's value with `message`.
    void fail(int id, const std::string& message);

private:
    HWND dialog_;
    bool failed_ = false;
};

// A message box over `owner` with the application title as caption.
int message_box(HWND owner, const std::string& text, UINT type);

// The open-file dialog with a filter in the "name|pattern|...||" form. On OK
// `path` holds the chosen full path; `flags` are added to OFN_EXPLORER.
bool choose_file(HWND owner, const char* filter, DWORD flags, std::string& path);

class CDialog {
public:
    explicit CDialog(UINT template_id, HWND owner = nullptr);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    INT_PTR DoModal();
    bool Create();  // modeless
    HWND hwnd() const { return hwnd_; }
    UINT template_id() const { return template_id_; }

protected:
    virtual BOOL OnInitDialog() { return TRUE; }
    // Copies members to the controls, or controls to members when dx.save.
    virtual void DoDataExchange(CDataExchange& /*dx*/) {}
    virtual void OnOK();
    virtual void OnCancel();
    // Messages other than WM_INITDIALOG and WM_COMMAND; return true when handled.
    virtual bool OnMessage(UINT /*msg*/, WPARAM /*wp*/, LPARAM /*lp*/, INT_PTR& /*result*/) { return false; }

    void on_command(UINT id, std::function<void()> handler) { commands_[id] = std::move(handler); }
    void on_notify(UINT id, UINT code, std::function<void(NMHDR*)> handler) { notifies_[{id, code}] = std::move(handler); }
    bool UpdateData(bool save);
    void EndDialog(INT_PTR result);
    // For property pages: the window procedure's start and the dispatch.
    static INT_PTR begin(HWND hwnd, CDialog* self);
    INT_PTR Dispatch(UINT msg, WPARAM wp, LPARAM lp);

    HWND item(int id) const { return GetDlgItem(hwnd_, id); }
    void set_item_text(int id, const char* text) const;
    bool is_checked(int id) const;
    void enable(int id, bool on) const { EnableWindow(item(id), on ? TRUE : FALSE); }

    static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);

private:

    UINT template_id_;
    HWND owner_;
    HWND hwnd_ = nullptr;
    bool modal_ = false;
    std::map<UINT, std::function<void()>> commands_;
    std::map<std::pair<UINT, UINT>, std::function<void(NMHDR*)>> notifies_;
};

class CPropertySheet;

// A page of a property sheet, made from its dialog template when first shown.
// Leaving the page validates it (UpdateData(true)); OnOK runs when the sheet
// closes with OK, only for pages that were shown, and tells the sheet so.
class CPropertyPage : public CDialog {
public:
    explicit CPropertyPage(UINT template_id) : CDialog(template_id) {}
    PROPSHEETPAGEW page_header();

protected:
    void OnOK() override {}
    void OnCancel() override {}
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) override;
    // The sheet's window, owner of the page's message boxes and file choosers.
    HWND sheet() const { return GetParent(hwnd()); }
    // The open-file dialog over the sheet: on OK the chosen path becomes
    // `member` and the controls show the members again. False when the user
    // chose nothing.
    bool browse_into(std::string& member, const char* filter, DWORD flags);

private:
    friend class CPropertySheet;
    static INT_PTR CALLBACK PageProc(HWND, UINT, WPARAM, LPARAM);
    CPropertySheet* owner_sheet_ = nullptr;
};

// A modal property sheet with OK and Cancel only, captioned from a string resource.
class CPropertySheet {
public:
    CPropertySheet(UINT caption_id, HWND owner) : caption_id_(caption_id), owner_(owner) {}
    virtual ~CPropertySheet() = default;
    CPropertySheet(const CPropertySheet&) = delete;
    CPropertySheet& operator=(const CPropertySheet&) = delete;

    void AddPage(CPropertyPage& page)
    {
        page.owner_sheet_ = this;
        pages_.push_back(&page);
    }
    // IDOK when a page applied OK, else IDCANCEL. PropertySheet's own result
    // is not used: Windows returns 0 for OK when no page reported a change.
    INT_PTR DoModal();

private:
    friend class CPropertyPage;
    UINT caption_id_;
    HWND owner_;
    std::vector<CPropertyPage*> pages_;
    bool applied_ = false;
};

// A socket whose events arrive as messages to a hidden window of its own.
class CAsyncSocket {
public:
    CAsyncSocket();
    virtual ~CAsyncSocket();
    CAsyncSocket(const CAsyncSocket&) = delete;
    CAsyncSocket& operator=(const CAsyncSocket&) = delete;

    // A socket of `type` bound to `port` on every interface, notifying
    // `events`: one for IPv6 and IPv4 where the host has IPv6, else IPv4 only.
    bool Create(UINT port, int type, long events);
    // One datagram: its size, or SOCKET_ERROR; the sender as text (dotted for
    // IPv4, an IPv4-mapped sender included; else IPv6 text) and port.
    int ReceiveFrom(void* buffer, int size, std::string& address, UINT& port);
    SOCKET handle() const { return socket_; }
    void Close();

protected:
    virtual void OnReceive(int /*error*/) {}

private:
    bool bind_socket(int family, UINT port, int type);
    static void address_text(const sockaddr_storage& from, std::string& address, UINT& port);
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    SOCKET socket_ = INVALID_SOCKET;
    HWND window_ = nullptr;
};
