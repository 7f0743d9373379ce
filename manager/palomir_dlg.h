// The manager's main window: the alert and service groups, the trap list
// with the records behind its rows, toolbar, status bar (the receiver's
// counters, read at start and at every tick) and the 5-second monitor timer. The list is virtual: row i shows frame i of trap_store,
// decoded when the row is drawn, and the receiver that forwarded it from
// another host (empty for this host's and for frames from record files),
// and the notification's name from the MIB modules of the receiver's
// settings ("f_mibnames", "mibdirs"), read at start and again after the
// service settings are changed; the detail dialog shows the same names.
#pragma once

#include "manager/framework/framework.h"

#include <commctrl.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/frame_store.h"
#include "common/mib_names.h"
#include "common/trap_record.h"

class CPalomirDlg : public CDialog {
public:
    CPalomirDlg();
    ~CPalomirDlg() override;

    // A forwarded frame as received (header in network order) from `sender`
    // (address text): listed when whole.
    void on_trap_frame(std::uint8_t* buffer, int count, const char* sender);
    // Keeps the frame (host order) and the receiver it came through (empty:
    // this host) and lists it; a frame that cannot be kept adds no row.
    void add_trap_row(const TrapFrame& frame, const char* sender = "");
    void load_record_file(const char* path);
    void clear_trap_list();
    void clear_vendor_alert();

    int tool_orvread = 0;
    int tool_front = 0;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange& dx) override;
    void OnOK() override {}
    void OnCancel() override {}
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) override;

private:
    void create_toolbar();
    void create_tooltips();
    void setup_trap_list();
    void layout_main_window(int width, int height);
    void on_timer();
    void refresh_service_status();
    void show_counters();
    void toggle_service();
    void edit_service_settings();
    // Reads the MIB modules the settings name (none when "f_mibnames" is not
    // 1) and shows the list's rows again with them.
    void load_mib_names();
    // Shows `text` in the status box at once, though messages wait meanwhile.
    void show_status_now(const char* text);
    void apply_vendor_rule(int generic_trap, std::uint32_t time);
    void show_alert(bool warning);
    void show_trap_detail(int row);
    void fill_trap_cell(LVITEMW& item);
    // Gives the list the rows trap_store holds beyond it; the list follows
    // new rows only when its last row was in view.
    void show_new_rows();
    bool last_row_in_view(int shown) const;
    void apply_newest_vendor_rule(std::size_t first);
    void bring_to_front();
    void keep_sender(const char* sender);
    const std::string& sender_of(std::size_t index) const;
    void open_record_file();
    void edit_manager_settings();
    void show_about();
    void show_help(UINT command);
    void exit_program();
    void paint_minimised();

    HWND toolbar_ = nullptr;
    HWND tooltip_ = nullptr;
    HWND status_bar_ = nullptr;
    HWND list_ = nullptr;
    HIMAGELIST images_ = nullptr;
    std::string status_text;
    std::string alert_text;
    FrameStore trap_store;
    // Per frame of trap_store, the number of its receiver in senders_ (0:
    // this host, or none known); frames of record files have none.
    std::vector<std::uint32_t> frame_senders_;
    std::vector<std::string> senders_{""};
    bool rows_pending_ = false;  // kept frames wait for the list to take them
    std::unique_ptr<MibNames> names_;  // null: numbers only

    // The texts of recently drawn rows, by row number modulo the cache size.
    struct ListRow {
        std::size_t index = SIZE_MAX;
        int image = 1;
        std::wstring cells[9];
    };
    const ListRow& list_row(std::size_t index);
    std::array<ListRow, 128> row_cache_;
    std::uint32_t last_vendor_time = 0;
};

// The one main window, for the listener's callback.
extern CPalomirDlg* g_main_window;
