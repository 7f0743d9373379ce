#include "manager/palomir_dlg.h"

#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <vector>

#include "common/receiver_counters.h"
#include "common/settings.h"
#include "common/trap_report.h"
#include "manager/resource.h"
#include "manager/tool_dialogs.h"
#include "manager/trap_detail_dlg.h"

CPalomirDlg* g_main_window = nullptr;

namespace {

const char kQuietText[] = "24時間以内に受信した、未確認の\r\nベンダー固有トラップ情報はありません";
const char kWarningText[] = "－注意！－\r\n24時間以内に、ベンダー固有トラップを\r\n受信しています";
const char kRecordFilter[] = "ORV形式ﾌｧｲﾙ (*.orv)|*.orv|全てのﾌｧｲﾙ (*.*)|*.*||";
constexpr std::uint32_t kAlertSeconds = 86400;
constexpr UINT kTimerPeriod = 5000;
constexpr int kToolbarHeight = 28;
// Posted after a trap is kept: the list takes all rows kept meanwhile at once.
constexpr UINT kShowNewRows = WM_APP + 1;

struct Column {
    const char* heading;
    int width;
};
const Column kColumns[] = {{"", 24},           {"受信日時", 136},   {"コミュニティ", 96}, {"エージェントアドレス", 116},
                           {"ベンダーID", 166}, {"TRAP番号", 66}, {"ベンダー固有", 86}, {"受信サーバー", 116},
                           {"トラップ名", 160}};
// Distinct receivers told apart per list; further ones show as this host.
constexpr std::size_t kMostSenders = 4096;

// Loopback senders are this host's receiver.
bool is_this_host(const char* sender)
{
    return sender[0] == '\0' || std::strncmp(sender, "127.", 4) == 0 || std::strcmp(sender, "::1") == 0;
}

// The shared record every frame is decoded into, and the frame copied out of
// the store for it.
TrapRecord g_record;
TrapFrame g_frame;

std::uint32_t now_seconds() { return static_cast<std::uint32_t>(std::time(nullptr)); }

// The command ids of the toolbar resource (0: separator). Microsoft's rc
// writes WORDs (version 1, width, height, count, ids); windres writes DWORDs
// (width, height, count, ids) with no version.
std::vector<WORD> toolbar_commands()
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(IDR_TOOLBAR), MAKEINTRESOURCEW(241));
    if (found == nullptr) return {};
    const auto* words = static_cast<const WORD*>(LockResource(LoadResource(module, found)));
    const DWORD size = SizeofResource(module, found);
    if (words == nullptr || size < 12) return {};
    std::vector<WORD> commands;
    if (words[0] == 1) {
        const WORD count = words[3];
        if (size < 8u + 2u * count) return {};
        commands.assign(words + 4, words + 4 + count);
    } else {
        const auto* dwords = reinterpret_cast<const DWORD*>(words);
        const DWORD count = dwords[2];
        if (size < 12u + 4u * count) return {};
        for (DWORD i = 0; i < count; ++i) commands.push_back(static_cast<WORD>(dwords[3 + i]));
    }
    return commands;
}

// Hands pending WM_PAINT messages to their windows, so a long load does not
// leave the window blank. Bounded: a window that does not validate itself
// would otherwise be painted for ever.
void paint_waiting_windows()
{
    MSG msg;
    for (int i = 0; i < 64 && PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE); ++i) DispatchMessageW(&msg);
}

} // namespace

CPalomirDlg::CPalomirDlg() : CDialog(IDD_MAIN), alert_text(kQuietText)
{
    g_main_window = this;
    on_command(ID_APP_EXIT, [this] { exit_program(); });
    on_command(ID_FILE_OPEN_RECORD, [this] { open_record_file(); });
    on_command(ID_VIEW_CLEAR_LIST, [this] { clear_trap_list(); });
    on_command(ID_TOOL_MANAGER_SETTINGS, [this] { edit_manager_settings(); });
    on_command(ID_TOOL_SERVICE_SETTINGS, [this] { edit_service_settings(); });
    on_command(ID_APP_ABOUT, [this] { show_about(); });
    on_command(ID_HELP_FINDER, [this] { show_help(HELP_FINDER); });
    on_command(ID_HELP_CONTENTS, [this] { show_help(HELP_CONTENTS); });
    on_command(IDC_MAIN_SERVICE_TOGGLE, [this] { toggle_service(); });
    on_command(IDC_MAIN_ALERT_CLEAR, [this] { clear_vendor_alert(); });
    on_notify(IDC_MAIN_TRAP_LIST, NM_DBLCLK,
              [this](NMHDR* header) { show_trap_detail(reinterpret_cast<NMITEMACTIVATE*>(header)->iItem); });
    on_notify(IDC_MAIN_TRAP_LIST, LVN_GETDISPINFOW,
              [this](NMHDR* header) { fill_trap_cell(reinterpret_cast<NMLVDISPINFOW*>(header)->item); });
    // Typing in the list searches the first column, which is empty: nothing is found, nothing moves.
    on_notify(IDC_MAIN_TRAP_LIST, LVN_ODFINDITEMW, [this](NMHDR*) { SetWindowLongPtrW(hwnd(), DWLP_MSGRESULT, -1); });
}

CPalomirDlg::~CPalomirDlg()
{
    if (images_ != nullptr) ImageList_Destroy(images_);
}

BOOL CPalomirDlg::OnInitDialog()
{
    HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
    SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    list_ = item(IDC_MAIN_TRAP_LIST);
    create_toolbar();
    create_tooltips();
    status_bar_ = CreateStatusWindowW(WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, L"", hwnd(), IDC_MAIN_STATUS_BAR);
    WINDOWPLACEMENT place{};
    place.length = sizeof place;
    GetWindowPlacement(hwnd(), &place);
    const RECT& r = place.rcNormalPosition;
    MoveWindow(hwnd(), r.left, r.top, r.right - r.left + 1, r.bottom - r.top, TRUE);  // a first WM_SIZE
    refresh_service_status();
    show_counters();
    setup_trap_list();
    load_mib_names();
    tool_orvread = read_dword_setting("tool_orvread", 0);
    tool_front = read_dword_setting("tool_front", 0);
    if (tool_orvread == 1 && read_dword_setting("f_binfile", 0) == 1) {
        char path[256];
        read_string_setting("binfile", path, sizeof path, "");
        load_record_file(path);
    }
    SetTimer(hwnd(), IDT_MONITOR, kTimerPeriod, nullptr);
    return TRUE;
}

void CPalomirDlg::DoDataExchange(CDataExchange& dx)
{
    if (dx.save) return;  // the controls only show the members
    set_item_text(IDC_MAIN_SERVICE_STATUS, status_text.c_str());
    set_item_text(IDC_MAIN_ALERT_TEXT, alert_text.c_str());
    SendMessageW(item(IDC_MAIN_ALERT_TEXT), EM_LIMITTEXT, 80, 0);
}

void CPalomirDlg::create_toolbar()
{
    std::vector<TBBUTTON> buttons;
    int image = 0;
    for (WORD command : toolbar_commands()) {
        TBBUTTON b{};
        b.idCommand = command;
        b.fsState = TBSTATE_ENABLED;
        b.fsStyle = command == 0 ? BTNS_SEP : BTNS_BUTTON;
        b.iBitmap = command == 0 ? 0 : image++;
        buttons.push_back(b);
    }
    toolbar_ = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                               WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_TOP, 0, 0, 0, 0, hwnd(),
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDR_TOOLBAR)), GetModuleHandleW(nullptr),
                               nullptr);
    SendMessageW(toolbar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(toolbar_, TB_SETBITMAPSIZE, 0, MAKELPARAM(16, 15));
    SendMessageW(toolbar_, TB_SETBUTTONSIZE, 0, MAKELPARAM(23, 22));
    TBADDBITMAP bitmap{GetModuleHandleW(nullptr), IDB_TOOLBAR};
    SendMessageW(toolbar_, TB_ADDBITMAP, static_cast<WPARAM>(image), reinterpret_cast<LPARAM>(&bitmap));
    SendMessageW(toolbar_, TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    RECT window;
    GetWindowRect(hwnd(), &window);
    MoveWindow(toolbar_, 0, 0, window.right - window.left, kToolbarHeight, TRUE);
}

void CPalomirDlg::create_tooltips()
{
    tooltip_ = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, hwnd(), nullptr, GetModuleHandleW(nullptr), nullptr);
    const int count = static_cast<int>(SendMessageW(toolbar_, TB_BUTTONCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        TBBUTTON b{};
        SendMessageW(toolbar_, TB_GETBUTTON, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&b));
        if (b.fsStyle & BTNS_SEP) continue;
        std::wstring text = widen(load_string(static_cast<UINT>(b.idCommand)).c_str());
        TOOLINFOW tool{};
        // Common controls 5.x refuse the full size of the 6.0 structure.
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.uFlags = TTF_SUBCLASS;
        tool.hwnd = toolbar_;
        tool.uId = static_cast<UINT_PTR>(b.idCommand);
        SendMessageW(toolbar_, TB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&tool.rect));
        tool.lpszText = &text[0];
        SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    SendMessageW(toolbar_, TB_SETTOOLTIPS, reinterpret_cast<WPARAM>(tooltip_), 0);
}

void CPalomirDlg::setup_trap_list()
{
    for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
        std::wstring heading = widen(kColumns[i].heading);
        LVCOLUMNW column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = kColumns[i].width;
        column.pszText = &heading[0];
        column.iSubItem = i;
        SendMessageW(list_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }
    SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
    images_ = ImageList_LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_TRAP_LIST_IMAGES), 16, 2,
                                   RGB(128, 0, 0), IMAGE_BITMAP, 0);
    ImageList_SetBkColor(images_, RGB(128, 128, 128));
    SendMessageW(list_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images_));
}

void CPalomirDlg::layout_main_window(int width, int height)
{
    if (list_ == nullptr) return;
    RECT bar;
    GetWindowRect(toolbar_, &bar);
    MoveWindow(toolbar_, 0, 0, width, bar.bottom - bar.top, TRUE);
    RECT list;
    GetWindowRect(list_, &list);
    POINT top_left{list.left, list.top};
    ScreenToClient(hwnd(), &top_left);
    RECT status;
    GetWindowRect(status_bar_, &status);
    MoveWindow(list_, top_left.x, top_left.y, width, height - top_left.y - (status.bottom - status.top), TRUE);
    SendMessageW(status_bar_, WM_SIZE, 0, 0);
}

bool CPalomirDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result)
{
    switch (msg) {
    case WM_SIZE:
        // A minimised window keeps its layout: a list of no height would lose its place.
        if (wp != SIZE_MINIMIZED) layout_main_window(LOWORD(lp), HIWORD(lp));
        return true;
    case WM_TIMER:
        if (wp == IDT_MONITOR) on_timer();
        return true;
    case kShowNewRows:
        rows_pending_ = false;
        show_new_rows();
        return true;
    case WM_CLOSE:
        exit_program();
        return true;
    case WM_PAINT:
        if (!IsIconic(hwnd())) return false;
        paint_minimised();
        return true;
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<INT_PTR>(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME)));
        return true;
    default:
        return false;
    }
}

void CPalomirDlg::paint_minimised()
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd(), &paint);
    RECT client;
    GetClientRect(hwnd(), &client);
    const int x = (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME)));
    EndPaint(hwnd(), &paint);
}

void CPalomirDlg::on_timer()
{
    refresh_service_status();
    show_counters();
    if (last_vendor_time != 0 && last_vendor_time < now_seconds() - kAlertSeconds) clear_vendor_alert();
}

// The receiver's counters as it last published them; nothing while it never did.
void CPalomirDlg::show_counters()
{
    ReceiverCounters counters{};
    char text[256] = "";
    if (read_published_counters(counters)) counters_text(counters, text, sizeof text);
    SetWindowTextW(status_bar_, widen(text).c_str());
}

void CPalomirDlg::on_trap_frame(std::uint8_t* buffer, int count, const char* sender)
{
    // A frame must hold its header and every data byte its length claims.
    if (count < static_cast<int>(kFrameHeaderSize)) return;
    auto* frame = reinterpret_cast<TrapFrame*>(buffer);
    frame_from_network_order(*frame);
    if (frame->length > static_cast<std::uint32_t>(count) - kFrameHeaderSize || frame->length > kFrameDataSize) return;
    add_trap_row(*frame, sender);
    if (tool_front == 1) bring_to_front();
}

void CPalomirDlg::bring_to_front()
{
    // A minimised window comes back as it was before; a maximised one stays so.
    if (IsIconic(hwnd())) ShowWindow(hwnd(), SW_RESTORE);
    else if (!IsWindowVisible(hwnd())) ShowWindow(hwnd(), SW_SHOW);
    if (GetForegroundWindow() != hwnd()) SetForegroundWindow(hwnd());
}

void CPalomirDlg::add_trap_row(const TrapFrame& frame, const char* sender)
{
    if (!trap_store.append(frame.time, frame.data, frame.length)) return;
    keep_sender(sender);
    decode_trap(g_record, frame);
    const std::string alert_before = alert_text;
    apply_vendor_rule(g_record.generic_trap, frame.time);
    if (alert_text != alert_before) UpdateData(false);
    if (rows_pending_) return;
    rows_pending_ = PostMessageW(hwnd(), kShowNewRows, 0, 0) != FALSE;
    if (!rows_pending_) show_new_rows();
}

// Numbers the receivers in the order they first forwarded, so that a frame
// costs four bytes more; the frames of record files, loaded meanwhile, get 0.
void CPalomirDlg::keep_sender(const char* sender)
{
    std::uint32_t number = 0;
    if (!is_this_host(sender)) {
        const auto found = std::find(senders_.begin(), senders_.end(), sender);
        number = static_cast<std::uint32_t>(found - senders_.begin());
        if (found == senders_.end() && senders_.size() < kMostSenders) senders_.emplace_back(sender);
        if (number >= senders_.size()) number = 0;
    }
    frame_senders_.resize(trap_store.size() - 1, 0);
    frame_senders_.push_back(number);
}

const std::string& CPalomirDlg::sender_of(std::size_t index) const
{
    return index < frame_senders_.size() ? senders_[frame_senders_[index]] : senders_[0];
}

void CPalomirDlg::show_new_rows()
{
    const int shown = static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0));
    const int count = static_cast<int>(trap_store.size());
    if (count == shown) return;
    const bool follow = last_row_in_view(shown);
    SendMessageW(list_, LVM_SETITEMCOUNT, static_cast<WPARAM>(count), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    if (follow && count > 0) SendMessageW(list_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(count - 1), FALSE);
}

bool CPalomirDlg::last_row_in_view(int shown) const
{
    const int per_page = static_cast<int>(SendMessageW(list_, LVM_GETCOUNTPERPAGE, 0, 0));
    if (shown == 0 || per_page <= 0) return true;
    const int top = static_cast<int>(SendMessageW(list_, LVM_GETTOPINDEX, 0, 0));
    return shown - 1 < top + per_page;
}

void CPalomirDlg::fill_trap_cell(LVITEMW& item)
{
    if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= trap_store.size()) return;
    const ListRow& row = list_row(static_cast<std::size_t>(item.iItem));
    if (item.mask & LVIF_IMAGE) item.iImage = row.image;
    if ((item.mask & LVIF_TEXT) && item.pszText != nullptr && item.cchTextMax > 0 && item.iSubItem >= 0 &&
        item.iSubItem < static_cast<int>(std::size(row.cells)))
        lstrcpynW(item.pszText, row.cells[item.iSubItem].c_str(), item.cchTextMax);
}

const CPalomirDlg::ListRow& CPalomirDlg::list_row(std::size_t index)
{
    ListRow& row = row_cache_[index % row_cache_.size()];
    if (row.index == index) return row;
    trap_store.copy_frame(index, g_frame);
    decode_trap(g_record, g_frame);
    char number[2][16];
    std::snprintf(number[0], sizeof number[0], "%d", g_record.generic_trap);
    std::snprintf(number[1], sizeof number[1], "%u", static_cast<unsigned>(g_record.specific_trap));
    char trap_name[kOidTextSize + 256] = "";
    if (names_ != nullptr) names_->notification_name(g_record, trap_name, sizeof trap_name);
    const char* texts[] = {"", g_record.recv_time, g_record.community, g_record.agent_addr, g_record.enterprise,
                           number[0], number[1], sender_of(index).c_str(), trap_name};
    for (std::size_t i = 0; i < std::size(texts); ++i) row.cells[i] = widen(texts[i]);
    row.image = g_record.generic_trap == 6 ? 0 : 1;
    row.index = index;
    return row;
}

void CPalomirDlg::apply_vendor_rule(int generic_trap, std::uint32_t time)
{
    if (generic_trap != 6) return;
    last_vendor_time = time;
    if (last_vendor_time != 0 && last_vendor_time > now_seconds() - kAlertSeconds) show_alert(true);
}

void CPalomirDlg::show_alert(bool warning)
{
    HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(warning ? IDI_ALERT_WARNING : IDI_ALERT_QUIET));
    SendMessageW(item(IDC_MAIN_ALERT_ICON), STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    alert_text = warning ? kWarningText : kQuietText;
}

void CPalomirDlg::clear_vendor_alert()
{
    last_vendor_time = 0;
    show_alert(false);
    UpdateData(false);
}

void CPalomirDlg::clear_trap_list()
{
    SendMessageW(list_, LVM_DELETEALLITEMS, 0, 0);
    trap_store.clear();
    frame_senders_.clear();
    senders_.resize(1);
    row_cache_ = {};
}

void CPalomirDlg::show_trap_detail(int row)
{
    if (row < 0 || static_cast<std::size_t>(row) >= trap_store.size()) return;
    std::unique_ptr<TrapRecord> record(new (std::nothrow) TrapRecord);
    if (record == nullptr) return;
    trap_store.copy_frame(static_cast<std::size_t>(row), g_frame);
    decode_trap(*record, g_frame);
    CTrapDetailDlg detail(hwnd());
    detail.record_ptr = record.get();
    detail.names = names_.get();
    detail.DoModal();
}

void CPalomirDlg::load_mib_names()
{
    names_.reset();
    if (read_dword_setting("f_mibnames", 1) == 1) {
        std::vector<char> dirs(kHostListSize, '\0');
        read_string_setting("mibdirs", dirs.data(), dirs.size(), "");
        std::vector<MibProblem> problems;  // the receiver's log tells of them
        try {
            names_ = ::load_mib_names(dirs.data(), problems);
        } catch (const std::bad_alloc&) {
            names_.reset();
        }
    }
    row_cache_ = {};
    InvalidateRect(list_, nullptr, TRUE);
}

void CPalomirDlg::load_record_file(const char* path)
{
    HCURSOR before = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    const std::size_t first = trap_store.size();
    trap_store.load_record_file(path, paint_waiting_windows);
    apply_newest_vendor_rule(first);
    show_new_rows();
    UpdateData(false);
    SetCursor(before);
}

// The alert follows the vendor-specific trap added last: of a file's traps,
// only the last vendor-specific one can decide it.
void CPalomirDlg::apply_newest_vendor_rule(std::size_t first)
{
    for (std::size_t i = trap_store.size(); i > first; --i) {
        trap_store.copy_frame(i - 1, g_frame);
        decode_trap(g_record, g_frame);
        if (g_record.generic_trap != 6) continue;
        apply_vendor_rule(6, g_frame.time);
        return;
    }
}

void CPalomirDlg::open_record_file()
{
    std::string path;
    if (choose_file(hwnd(), kRecordFilter, OFN_HIDEREADONLY, path)) load_record_file(path.c_str());
}

void CPalomirDlg::edit_manager_settings()
{
    CToolProp settings(*this);
    settings.DoModal();
}

void CPalomirDlg::show_about()
{
    CAboutDlg about(hwnd());
    about.DoModal();
}

void CPalomirDlg::show_help(UINT command)
{
    // A WinHelp file beside the program is used where one is installed; else the
    // HTML guide in the program's folder opens in the default browser.
    wchar_t module[MAX_PATH] = L"";
    const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    const std::wstring program(module, length < MAX_PATH ? length : 0);
    const std::wstring winhelp = program.substr(0, program.find_last_of(L'.')) + L".HLP";
    if (GetFileAttributesW(winhelp.c_str()) != INVALID_FILE_ATTRIBUTES) {
        WinHelpW(hwnd(), winhelp.c_str(), command, 0);
        return;
    }
    if (command == HELP_QUIT) return;
    const std::wstring guide = program.substr(0, program.find_last_of(L'\\') + 1) + L"palomir.html";
    if (GetFileAttributesW(guide.c_str()) == INVALID_FILE_ATTRIBUTES) {
        message_box(hwnd(), "ヘルプファイルが見つかりません: " + narrow(guide.c_str()), MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    HINSTANCE opened = ShellExecuteW(hwnd(), L"open", guide.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(opened) <= 32) message_box(hwnd(), "ヘルプファイルを開けません: " + narrow(guide.c_str()), MB_OK | MB_ICONEXCLAMATION);
}

void CPalomirDlg::exit_program()
{
    show_help(HELP_QUIT);
    PostQuitMessage(0);
}
