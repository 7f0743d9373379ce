#include "manager/framework/framework.h"

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
    DoDataExchange(save);
    return true;
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

void CDialog::set_checked(int id, bool on) const { CheckDlgButton(hwnd_, id, on ? BST_CHECKED : BST_UNCHECKED); }

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CDialog*>(lp);
        SetWindowLongPtrW(hwnd, DWLP_USER, lp);
        self->hwnd_ = hwnd;
        self->UpdateData(false);
        return self->OnInitDialog();
    }
    auto* self = reinterpret_cast<CDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (self == nullptr) return FALSE;
    const INT_PTR result = self->Dispatch(msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        self->hwnd_ = nullptr;
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
    }
    return result;
}

INT_PTR CDialog::Dispatch(UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_COMMAND) {
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

bool CAsyncSocket::Create(UINT port, int type, long events)
{
    socket_ = socket(AF_INET, type, 0);
    if (socket_ == INVALID_SOCKET) return false;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<u_short>(port));
    if (bind(socket_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        WSAAsyncSelect(socket_, window_, WM_SOCKET_NOTIFY, events) != 0) {
        Close();
        return false;
    }
    return true;
}

int CAsyncSocket::ReceiveFrom(void* buffer, int size, std::string& address, UINT& port)
{
    sockaddr_in from{};
    int from_size = sizeof from;
    const int n = recvfrom(socket_, static_cast<char*>(buffer), size, 0, reinterpret_cast<sockaddr*>(&from), &from_size);
    if (n != SOCKET_ERROR) {
        address = inet_ntoa(from.sin_addr);
        port = ntohs(from.sin_port);
    }
    return n;
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
