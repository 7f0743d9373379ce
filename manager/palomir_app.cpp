// palomir: the application object. Starts Windows Sockets 1.1, the trap
// listener on port 18882 and the main window, runs the message loop, and
// tears them down in reverse.
#include "manager/framework/framework.h"

#include <commctrl.h>

#include <memory>

#include "common/trap_frame.h"
#include "manager/palomir_dlg.h"
#include "manager/resource.h"
#include "manager/udp_sock.h"

namespace {

void on_trap_frame(std::uint8_t* buffer, int count, const char* sender, UINT)
{
    if (g_main_window != nullptr) g_main_window->on_trap_frame(buffer, count, sender);
}

class CPalomirApp : public CWinApp {
protected:
    bool InitInstance() override
    {
        WSADATA data;
        if (WSAStartup(MAKEWORD(1, 1), &data) != 0 || data.wVersion != MAKEWORD(1, 1)) {
            MessageBoxW(nullptr, widen(load_string(IDS_SOCKETS_FAILED).c_str()).c_str(), widen(title().c_str()).c_str(),
                        MB_OK | MB_ICONEXCLAMATION);
            return false;
        }
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        listener_ = std::make_unique<CUdpSock>(kManagerPort, "");
        listener_->start(on_trap_frame);
        window_ = std::make_unique<CPalomirDlg>();
        if (!window_->Create()) return false;
        main_window = window_->hwnd();
        ShowWindow(main_window, SW_SHOW);
        return true;
    }

    int ExitInstance() override
    {
        window_.reset();
        listener_.reset();
        WSACleanup();
        return 0;
    }

private:
    std::unique_ptr<CUdpSock> listener_;
    std::unique_ptr<CPalomirDlg> window_;
};

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    CPalomirApp app;
    return app.Run();
}
