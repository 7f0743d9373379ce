// The service control panel of the main window: the receiver service's
// state in box 1001, the start/stop button, and the service settings sheet
// with the restart question. The service is reached only through the
// Service Control Manager; handles are opened per operation.
#include "manager/palomir_dlg.h"

#include <functional>

#include "manager/resource.h"
#include "manager/service_sheet.h"
#include "platform/event_log.h"
#include "platform/win32/sc_handle.h"

namespace {

// The name under which the receiver installs itself.
const std::wstring kService = widen(kServiceName);
constexpr DWORD kServiceAccess = SERVICE_QUERY_STATUS | SERVICE_START | SERVICE_STOP;
constexpr int kFollowPasses = 75;
constexpr DWORD kFollowPause = 200;

const char kRestartQuestion[] = "サービスのプロパティに更新がありました。\n\n"
                                "変更された情報を有効にするには、サービスの再起動が必要です。\n"
                                "今すぐ再起動を行ないますか？";

// The manager and the service, both open for one operation.
class ServiceHandles {
public:
    ServiceHandles()
        : manager_(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT)),
          service_(manager_.get() != nullptr ? OpenServiceW(manager_.get(), kService.c_str(), kServiceAccess) : nullptr),
          error_(service_.get() == nullptr ? GetLastError() : 0)
    {
    }

    bool manager_open() const { return manager_.get() != nullptr; }
    SC_HANDLE service() const { return service_.get(); }
    DWORD open_error() const { return error_; }
    // The current state, or 0 when it cannot be queried.
    DWORD state() const
    {
        SERVICE_STATUS status{};
        return QueryServiceStatus(service_.get(), &status) ? status.dwCurrentState : 0;
    }

private:
    ScHandle manager_;
    ScHandle service_;
    DWORD error_;
};

const char* open_failure_text(DWORD error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED:
        return "操作権限がありません";
    case ERROR_SERVICE_DOES_NOT_EXIST:
        return "インストールされていません";
    default:
        return "システムエラー";
    }
}

// The text shown while a pending state is followed; nullptr keeps the previous one.
const char* pending_text(DWORD state)
{
    switch (state) {
    case SERVICE_START_PENDING:
        return "起動処理中です";
    case SERVICE_STOP_PENDING:
        return "停止処理中です";
    case SERVICE_CONTINUE_PENDING:
        return "サービスの再開は未処理です";
    case SERVICE_PAUSE_PENDING:
        return "サービスの一時停止は未処理です";
    case SERVICE_PAUSED:
        return "サービスは一時停止されています";
    default:
        return nullptr;
    }
}

// Start for a stopped service, stop for a running one; nothing for the other states.
bool request_toggle(const ServiceHandles& handles, DWORD state)
{
    if (state == SERVICE_STOPPED) return StartServiceW(handles.service(), 0, nullptr) != FALSE;
    if (state == SERVICE_RUNNING) {
        SERVICE_STATUS status{};
        return ControlService(handles.service(), SERVICE_CONTROL_STOP, &status) != FALSE;
    }
    return true;
}

// Follows a pending service for at most 75 passes of 200 ms, showing each
// pass's text at once; the state it settled in, or the last one seen.
DWORD follow_until_settled(const ServiceHandles& handles, const std::function<void(const char*)>& show)
{
    DWORD state = 0;
    for (int pass = 0; pass < kFollowPasses; ++pass) {
        state = handles.state();
        if (state == SERVICE_STOPPED || state == SERVICE_RUNNING) break;
        if (const char* text = pending_text(state)) show(text);
        Sleep(kFollowPause);
    }
    return state;
}

// Toggles the service and follows it: nullptr, or the text that says what failed.
const char* toggle_and_follow(const std::function<void(const char*)>& show)
{
    ServiceHandles handles;
    if (!handles.manager_open()) return "サービスマネージャーとの接続に失敗しました";
    if (handles.service() == nullptr) return "サービスとの接続に失敗しました";
    const DWORD state = handles.state();
    if (!request_toggle(handles, state)) return "サービスのコントロールに失敗しました";
    const DWORD settled = follow_until_settled(handles, show);
    if (state == SERVICE_STOPPED && settled == SERVICE_STOPPED) return "サービスは未稼動です";
    return nullptr;
}

} // namespace

void CPalomirDlg::refresh_service_status()
{
    ServiceHandles handles;
    if (!handles.manager_open()) {
        status_text = "サービスマネージャー異常";
    } else if (handles.service() == nullptr) {
        status_text = open_failure_text(handles.open_error());
    } else {
        status_text = handles.state() == SERVICE_RUNNING ? "サービスは稼動中です" : "サービスは停止状態です";
    }
    UpdateData(false);
}

void CPalomirDlg::show_status_now(const char* text)
{
    status_text = text;
    set_item_text(IDC_MAIN_SERVICE_STATUS, text);
    UpdateWindow(item(IDC_MAIN_SERVICE_STATUS));
}

// Starts a stopped service or stops a running one and follows it until it
// settles. A failure's text stays in the box until the next timer refresh,
// so the user sees why nothing happened.
void CPalomirDlg::toggle_service()
{
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));  // IDC_WAIT
    const char* failure = toggle_and_follow([this](const char* text) { show_status_now(text); });
    if (failure != nullptr) {
        show_status_now(failure);
    } else {
        refresh_service_status();
    }
    SetCursor(previous);
}

void CPalomirDlg::edit_service_settings()
{
    CMyPropertySheet sheet(hwnd());
    if (sheet.DoModal() != IDOK) return;
    load_mib_names();
    if (message_box(hwnd(), kRestartQuestion, MB_OKCANCEL | MB_ICONINFORMATION) != IDOK) return;
    toggle_service();
    toggle_service();
}
