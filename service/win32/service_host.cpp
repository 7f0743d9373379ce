#include "service/service_host.h"

#include <windows.h>
#include <sddl.h>

#include <cstdio>
#include <cstring>

#include "platform/event_log.h"
#include "platform/settings_store.h"
#include "platform/win32/sc_handle.h"
#include "service/receive_loop.h"
#include "service/win32/firewall_rule.h"

namespace {

const char kEventLogKey[] = "System\\CurrentControlSet\\Services\\EventLog\\Application\\";
// The settings key holds the scrambled mail passwords: full access for
// SYSTEM and Administrators, inherited by its subkeys, and nothing inherited
// from SOFTWARE, whose entries let every user read.
const char kSettingsKeyAcl[] = "D:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)";

// Shared by service_main and the control handler, as the Service Control
// Manager's callbacks leave no other place for them.
SERVICE_STATUS g_status;
SERVICE_STATUS_HANDLE g_status_handle;

void print_error(const char* format) { std::printf(format, static_cast<int>(GetLastError())); }

void register_event_source(const char* program)
{
    char key_name[256];
    std::snprintf(key_name, sizeof key_name, "%s%s", kEventLogKey, kServiceName);
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_name, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    RegSetValueExA(key, "TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types), sizeof types);
    RegSetValueExA(key, "EventMessageFile", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(program),
                   static_cast<DWORD>(std::strlen(program) + 1));
    RegCloseKey(key);
}

// Windows Firewall blocks inbound UDP by default: without the rule an
// installed service hears nothing from the network. A failure is printed and
// the installation stands; the administrator can still add a rule by hand.
void open_firewall(const char* program)
{
    const HRESULT hr = add_firewall_rule(program);
    if (FAILED(hr)) std::printf("ファイアウォールにUDPポート162の受信規則を追加できませんでした CODE:[0x%08lX]\n", hr);
}

void close_firewall()
{
    const HRESULT hr = remove_firewall_rule();
    if (FAILED(hr)) std::printf("ファイアウォールの受信規則を削除できませんでした CODE:[0x%08lX]\n", hr);
}

// A descriptor that ConvertStringSecurityDescriptorToSecurityDescriptorA made.
struct LocalSecurityDescriptor {
    PSECURITY_DESCRIPTOR sd = nullptr;
    ~LocalSecurityDescriptor() { LocalFree(sd); }
};

// Creates the settings key (32-bit view, as every build opens it) with the
// restricted DACL, or restricts an existing one, keeping its values.
DWORD restrict_settings_key()
{
    LocalSecurityDescriptor acl;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kSettingsKeyAcl, SDDL_REVISION_1, &acl.sd, nullptr))
        return GetLastError();
    SECURITY_ATTRIBUTES attributes{sizeof attributes, acl.sd, FALSE};
    HKEY key;
    const LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                    WRITE_DAC | KEY_WOW64_32KEY, &attributes, &key, nullptr);
    if (rc != ERROR_SUCCESS) return static_cast<DWORD>(rc);
    // An existing key: the descriptor's own protected flag and the explicit
    // one both say that nothing is inherited from SOFTWARE.
    const LONG result = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, acl.sd);
    RegCloseKey(key);
    return static_cast<DWORD>(result);
}

void WINAPI service_control_handler(DWORD control)
{
    if (control != SERVICE_CONTROL_STOP && control != SERVICE_CONTROL_SHUTDOWN) return;
    const bool running = g_status.dwCurrentState == SERVICE_RUNNING;
    if (running) {
        g_status.dwCurrentState = SERVICE_STOP_PENDING;
        g_status.dwWaitHint = 15000;  // the mails' grace (10 s) and the two seconds after the loop
    }
    SetServiceStatus(g_status_handle, &g_status);
    if (running) request_stop();  // the loop may end at once: stop pending is reported before
}

void WINAPI service_main(DWORD, LPSTR*)
{
    g_status_handle = RegisterServiceCtrlHandlerA(kServiceName, service_control_handler);
    g_status = {};
    g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_status.dwCurrentState = SERVICE_RUNNING;
    g_status.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
    SetServiceStatus(g_status_handle, &g_status);
    report_service_event(kEventStarted);

    run_receive_loop(TrapOutput::None);  // a service has no console to show traps on
    Sleep(2000);

    report_service_event(kEventStopped);
    g_status.dwCurrentState = SERVICE_STOPPED;
    SetServiceStatus(g_status_handle, &g_status);
}

BOOL WINAPI console_handler(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    request_stop();
    return TRUE;
}

} // namespace

void install_service()
{
    char program[MAX_PATH + 1] = "";
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    char command[MAX_PATH + 16];
    // Quoted: unquoted, a path with spaces (C:\Program Files\...) could be
    // taken by the Service Control Manager as C:\Program.exe.
    std::snprintf(command, sizeof command, "\"%s\" -service", program);

    ScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (manager.get() == nullptr) return print_error("サービスマネージャーとの接続に失敗しました CODE:[%d]\n");
    ScHandle service(CreateServiceA(manager.get(), kServiceName, kServiceName, SERVICE_ALL_ACCESS,
                                    SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_IGNORE, command,
                                    nullptr, nullptr, nullptr, nullptr, nullptr));
    if (service.get() == nullptr) return print_error("モジュールのサービス登録に失敗しました CODE:[%d]\n");

    register_event_source(program);
    protect_settings();
    open_firewall(program);
    report_service_event(kEventInstalled);
}

void protect_settings()
{
    const DWORD rc = restrict_settings_key();
    if (rc != ERROR_SUCCESS) std::printf("設定キーのアクセス権を制限できませんでした CODE:[%d]\n", static_cast<int>(rc));
}

void uninstall_service()
{
    ScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (manager.get() == nullptr) return print_error("サービスマネージャーとの接続に失敗しました CODE:[%d]\n");
    ScHandle service(OpenServiceA(manager.get(), kServiceName, DELETE));
    if (service.get() == nullptr) return print_error("サービスとの接続に失敗しました CODE:[%d]\n");
    DeleteService(service.get());
    close_firewall();
    report_service_event(kEventUninstalled);
}

void run_service()
{
    static char name[] = "ORVEL SNMP Trap Receiver";
    SERVICE_TABLE_ENTRYA table[] = {{name, service_main}, {nullptr, nullptr}};
    StartServiceCtrlDispatcherA(table);
}

void stop_on_console_interrupt() { SetConsoleCtrlHandler(console_handler, TRUE); }

void show_unknown_argument(const char* argument) { MessageBoxA(nullptr, argument, "test srv", MB_OK); }
