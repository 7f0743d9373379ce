#include "manager/framework/framework.h"

#include <ws2tcpip.h>
#include <commdlg.h>

#include <cwctype>
#include <vector>

namespace {

constexpr UINT kCodePage = 932;
constexpr UINT WM_SOCKET_NOTIFY = WM_APP + 1;
const wchar_t kSocketWindowClass[] = L"PalomirSocketWindow";

} // namespace

std::wstring widen(const char* text)
{
    const int n = MultiByteToWideChar(kCodePage, 0, text, -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::vector<wchar_t> out(static_cast<std::size_t>(n));
    MultiByteToWideChar(kCodePage, 0, text, -1, out.data(), n);
    return std::wstring(out.data());
}

std::string narrow(const wchar_t* text)
{
    const int n = WideCharToMultiByte(kCodePage, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::vector<char> out(static_cast<std::size_t>(n));
    WideCharToMultiByte(kCodePage, 0, text, -1, out.data(), n, nullptr, nullptr);
    return std::string(out.data());
}

std::string load_string(UINT id)
{
    const wchar_t* text = nullptr;
    const int n = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return n > 0 ? narrow(std::wstring(text, static_cast<std::size_t>(n)).c_str()) : std::string();
}

// --- CWinApp --------------------------------------------------------------

CWinApp* CWinApp::instance_ = nullptr;

CWinApp::CWinApp() { instance_ = this; }

CWinApp::~CWinApp() { instance_ = nullptr; }

std::string CWinApp::title() const
{
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path);
    name = name.substr(name.find_last_of(L"\\/") + 1);
    return narrow(name.substr(0, name.find_last_of(L'.')).c_str());
}

int CWinApp::Run()
{
    if (!InitInstance()) {
        ExitInstance();
        return 1;
    }
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (main_window != nullptr && IsDialogMessageW(GetActiveWindow() ? GetActiveWindow() : main_window, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    ExitInstance();
    return static_cast<int>(msg.wParam);
}

// --- Data exchange ---------------------------------------------------------

namespace {

const char kNotANumber[] = "正の整数を入力してください。";
const char kOutOfRange[] = "%1 から %2 までの整数を入力してください。";
const char kTooLong[] = "%1 文字以内で入力してください。";

std::string fill_in(std::string text, unsigned first, unsigned second = 0)
{
    const auto replace = [&text](const char* mark, unsigned value) {
        const std::size_t at = text.find(mark);
        if (at != std::string::npos) text.replace(at, 2, std::to_string(value));
    };
    replace("%1", first);
    replace("%2", second);
    return text;
}

std::wstring control_text(HWND control)
{
    const int n = GetWindowTextLengthW(control);
    std::vector<wchar_t> text(static_cast<std::size_t>(n) + 1, L'\0');
    GetWindowTextW(control, text.data(), n + 1);
    return text.data();
}

// Blanks around one run of decimal digits, in the 32-bit range.
bool parse_unsigned(const std::wstring& text, unsigned& value)
{
    std::size_t i = 0;
    while (i < text.size() && std::iswspace(text[i])) ++i;
    unsigned long long n = 0;
    const std::size_t first = i;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        n = n * 10 + static_cast<unsigned>(text[i] - L'0');
        if (n > 0xFFFFFFFFull) return false;
    }
    if (i == first) return false;
    while (i < text.size() && std::iswspace(text[i])) ++i;
    if (i != text.size()) return false;
    value = static_cast<unsigned>(n);
    return true;
}

bool is_radio_button(HWND control)
{
    return (SendMessageW(control, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) != 0;
}

} // namespace

void CDataExchange::check(int id, int& value)
{
    if (failed_) return;
    if (save) {
        value = IsDlgButtonChecked(dialog_, id) == BST_CHECKED ? 1 : 0;
    } else {
        CheckDlgButton(dialog_, id, value == 1 ? BST_CHECKED : BST_UNCHECKED);
    }
}

void CDataExchange::radio(int first, int& value)
{
    if (failed_) return;
    HWND control = GetDlgItem(dialog_, first);
    if (save) value = -1;
    int index = 0;
    for (; control != nullptr; control = GetWindow(control, GW_HWNDNEXT)) {
        if (index > 0 && (GetWindowLongW(control, GWL_STYLE) & WS_GROUP)) break;
        if (!is_radio_button(control)) continue;
        if (save && SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED) value = index;
        if (!save) SendMessageW(control, BM_SETCHECK, index == value ? BST_CHECKED : BST_UNCHECKED, 0);
        ++index;
    }
}

void CDataExchange::text(int id, std::string& value, int limit)
{
    if (failed_) return;
    HWND control = GetDlgItem(dialog_, id);
    if (!save) {
        SendMessageW(control, EM_LIMITTEXT, static_cast<WPARAM>(limit), 0);
        SetWindowTextW(control, widen(value.c_str()).c_str());
        return;
    }
    const std::wstring text = control_text(control);
    if (static_cast<int>(text.size()) > limit) return fail(id, fill_in(kTooLong, static_cast<unsigned>(limit)));
    value = narrow(text.c_str());
}

void CDataExchange::number(int id, unsigned& value, unsigned low, unsigned high)
{
    if (failed_) return;
    HWND control = GetDlgItem(dialog_, id);
    if (!save) {
        SetWindowTextW(control, std::to_wstring(value).c_str());
        return;
    }
    unsigned n = 0;
    if (!parse_unsigned(control_text(control), n)) return fail(id, kNotANumber);
    if (n < low || n > high) return fail(id, fill_in(kOutOfRange, low, high));
    value = n;
}

void CDataExchange::choice(int id, int& value)
{
    if (failed_) return;
    HWND control = GetDlgItem(dialog_, id);
    if (save) {
        value = static_cast<int>(SendMessageW(control, CB_GETCURSEL, 0, 0));
    } else {
        SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(value), 0);
    }
}

void CDataExchange::fail(int id, const std::string& message)
{
    failed_ = true;
    HWND control = GetDlgItem(dialog_, id);
    HWND window = GetAncestor(dialog_, GA_ROOT);
    message_box(window, message, MB_OK | MB_ICONEXCLAMATION);
    // Posted: the window takes its focus back when it is activated again after the box.
    PostMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    SendMessageW(control, EM_SETSEL, 0, -1);
}

int message_box(HWND owner, const std::string& text, UINT type)
{
    const std::string title = CWinApp::instance() != nullptr ? CWinApp::instance()->title() : std::string();
    return MessageBoxW(owner, widen(text.c_str()).c_str(), widen(title.c_str()).c_str(), type);
}

bool choose_file(HWND owner, const char* filter, DWORD flags, std::string& path)
{
    std::wstring patterns = widen(filter);
    for (wchar_t& c : patterns)
        if (c == L'|') c = L'\0';
    std::vector<wchar_t> name(32768, L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = patterns.c_str();
    ofn.lpstrFile = name.data();
    ofn.nMaxFile = static_cast<DWORD>(name.size());
    ofn.Flags = OFN_EXPLORER | flags;
    if (!GetOpenFileNameW(&ofn)) return false;
    path = narrow(name.data());
    return true;
}

// --- CDialog --------------------------------------------------------------

CDialog::CDialog(UINT template_id, HWND owner) : template_id_(template_id), owner_(owner) {}

CDialog::~CDialog()
{
    if (hwnd_ != nullptr && !modal_) DestroyWindow(hwnd_);
}

INT_PTR CDialog::DoModal()
{
    modal_ = true;
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(template_id_), owner_, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

bool CDialog::Create()
{
    modal_ = false;
    return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(template_id_), owner_, DialogProc,
                              reinterpret_cast<LPARAM>(this)) != nullptr;
}

void CDialog::OnOK()
{
    if (UpdateData(true)) EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

bool CDialog::UpdateData(bool save)
{
    CDataExchange dx(hwnd_, save);
    DoDataExchange(dx);
    return dx.ok();
}

void CDialog::EndDialog(INT_PTR result)
{
    if (modal_) {
        ::EndDialog(hwnd_, result);
    } else {
        DestroyWindow(hwnd_);
    }
}

void CDialog::set_item_text(int id, const char* text) const { SetDlgItemTextW(hwnd_, id, widen(text).c_str()); }

bool CDialog::is_checked(int id) const { return IsDlgButtonChecked(hwnd_, id) == BST_CHECKED; }

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_INITDIALOG) return begin(hwnd, reinterpret_cast<CDialog*>(lp));
    auto* self = reinterpret_cast<CDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (self == nullptr) return FALSE;
    const INT_PTR result = self->Dispatch(msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        self->hwnd_ = nullptr;
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
    }
    return result;
}

INT_PTR CDialog::begin(HWND hwnd, CDialog* self)
{
    SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    self->hwnd_ = hwnd;
    self->UpdateData(false);
    return self->OnInitDialog();
}

INT_PTR CDialog::Dispatch(UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_COMMAND) {
        if (HIWORD(wp) > 1) return FALSE;  // a control's notice (an edit's change, ...), not a command
        const UINT id = LOWORD(wp);
        const auto handler = commands_.find(id);
        if (handler != commands_.end()) {
            handler->second();
            return TRUE;
        }
        if (id == IDOK) OnOK();
        if (id == IDCANCEL) OnCancel();
        return TRUE;
    }
    if (msg == WM_NOTIFY) {
        auto* header = reinterpret_cast<NMHDR*>(lp);
        const auto handler = notifies_.find({static_cast<UINT>(header->idFrom), header->code});
        if (handler != notifies_.end()) {
            handler->second(header);
            return TRUE;
        }
    }
    INT_PTR result = FALSE;
    if (OnMessage(msg, wp, lp, result)) return result;
    return FALSE;
}

// --- Property sheets ---------------------------------------------------------

PROPSHEETPAGEW CPropertyPage::page_header()
{
    PROPSHEETPAGEW page{};
    page.dwSize = sizeof page;
    page.dwFlags = PSP_DEFAULT;  // no Help button
    page.hInstance = GetModuleHandleW(nullptr);
    page.pszTemplate = MAKEINTRESOURCEW(template_id());
    page.pfnDlgProc = PageProc;
    page.lParam = reinterpret_cast<LPARAM>(this);
    return page;
}

bool CPropertyPage::browse_into(std::string& member, const char* filter, DWORD flags)
{
    std::string chosen;
    if (!choose_file(sheet(), filter, flags, chosen)) return false;
    UpdateData(true);
    member = chosen;
    UpdateData(false);
    return true;
}

INT_PTR CALLBACK CPropertyPage::PageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CPropertyPage*>(reinterpret_cast<PROPSHEETPAGEW*>(lp)->lParam);
        return begin(hwnd, self);
    }
    return DialogProc(hwnd, msg, wp, lp);
}

bool CPropertyPage::OnMessage(UINT msg, WPARAM, LPARAM lp, INT_PTR& result)
{
    if (msg != WM_NOTIFY) return false;
    const auto* header = reinterpret_cast<NMHDR*>(lp);
    LONG_PTR answer = 0;
    switch (header->code) {
    case PSN_KILLACTIVE:
        answer = UpdateData(true) ? FALSE : TRUE;  // TRUE keeps the page
        break;
    case PSN_APPLY:
        OnOK();
        if (owner_sheet_ != nullptr) owner_sheet_->applied_ = true;
        answer = PSNRET_NOERROR;
        break;
    default:
        return false;
    }
    SetWindowLongPtrW(hwnd(), DWLP_MSGRESULT, answer);
    result = TRUE;
    return true;
}

INT_PTR CPropertySheet::DoModal()
{
    std::vector<PROPSHEETPAGEW> pages;
    for (CPropertyPage* page : pages_) pages.push_back(page->page_header());
    const std::wstring caption = widen(load_string(caption_id_).c_str());
    PROPSHEETHEADERW sheet{};
    sheet.dwSize = sizeof sheet;
    sheet.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW;  // no Apply, no Help
    sheet.hwndParent = owner_;
    sheet.hInstance = GetModuleHandleW(nullptr);
    sheet.pszCaption = caption.c_str();
    sheet.nPages = static_cast<UINT>(pages.size());
    sheet.nStartPage = 0;
    sheet.ppsp = pages.data();
    applied_ = false;
    PropertySheetW(&sheet);
    return applied_ ? IDOK : IDCANCEL;
}

// --- CAsyncSocket -----------------------------------------------------------

CAsyncSocket::CAsyncSocket()
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kSocketWindowClass;
    RegisterClassW(&wc);  // fails harmlessly when already registered
    window_ = CreateWindowW(kSocketWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

CAsyncSocket::~CAsyncSocket()
{
    Close();
    if (window_ != nullptr) DestroyWindow(window_);
}

// One socket for IPv6 and IPv4 where the host has IPv6, else an IPv4 one.
bool CAsyncSocket::Create(UINT port, int type, long events)
{
    if (!bind_socket(AF_INET6, port, type) && !bind_socket(AF_INET, port, type)) return false;
    if (WSAAsyncSelect(socket_, window_, WM_SOCKET_NOTIFY, events) != 0) {
        Close();
        return false;
    }
    return true;
}

bool CAsyncSocket::bind_socket(int family, UINT port, int type)
{
    socket_ = socket(family, type, 0);
    if (socket_ == INVALID_SOCKET) return false;
    sockaddr_storage local{};
    int size = sizeof(sockaddr_in);
    if (family == AF_INET6) {
        const DWORD off = 0;  // IPv4 senders too, as mapped addresses
        setsockopt(socket_, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&off), sizeof off);
        auto* any = reinterpret_cast<sockaddr_in6*>(&local);
        any->sin6_family = AF_INET6;
        any->sin6_port = htons(static_cast<u_short>(port));
        size = sizeof(sockaddr_in6);
    } else {
        auto* any = reinterpret_cast<sockaddr_in*>(&local);
        any->sin_family = AF_INET;
        any->sin_port = htons(static_cast<u_short>(port));
    }
    if (bind(socket_, reinterpret_cast<const sockaddr*>(&local), size) == 0) return true;
    Close();
    return false;
}

int CAsyncSocket::ReceiveFrom(void* buffer, int size, std::string& address, UINT& port)
{
    sockaddr_storage from{};
    int from_size = sizeof from;
    const int n = recvfrom(socket_, static_cast<char*>(buffer), size, 0, reinterpret_cast<sockaddr*>(&from), &from_size);
    if (n != SOCKET_ERROR) address_text(from, address, port);
    return n;
}

// The sender as IPv4 dotted text (an IPv4-mapped IPv6 address too) or IPv6 text.
void CAsyncSocket::address_text(const sockaddr_storage& from, std::string& address, UINT& port)
{
    char text[INET6_ADDRSTRLEN] = "";
    if (from.ss_family == AF_INET6) {
        const auto& six = reinterpret_cast<const sockaddr_in6&>(from);
        port = ntohs(six.sin6_port);
        if (IN6_IS_ADDR_V4MAPPED(&six.sin6_addr)) {
            inet_ntop(AF_INET, &six.sin6_addr.s6_addr[12], text, sizeof text);
        } else {
            inet_ntop(AF_INET6, &six.sin6_addr, text, sizeof text);
        }
    } else {
        const auto& four = reinterpret_cast<const sockaddr_in&>(from);
        port = ntohs(four.sin_port);
        inet_ntop(AF_INET, &four.sin_addr, text, sizeof text);
    }
    address = text;
}

void CAsyncSocket::Close()
{
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
    socket_ = INVALID_SOCKET;
}

LRESULT CALLBACK CAsyncSocket::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_SOCKET_NOTIFY) {
        auto* self = reinterpret_cast<CAsyncSocket*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self != nullptr && WSAGETSELECTEVENT(lp) == FD_READ) self->OnReceive(WSAGETSELECTERROR(lp));
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}
