// Looks into the running manager from outside, as a test needs: window
// texts, list rows, toolbar buttons, and it clicks and sends commands.
// Prints UTF-8 lines; its first act is the line "palomir_probe: started" on
// standard error, so a caller can tell a run that Wine never started (it does
// nothing) from one that found nothing. Usage:
//   palomir_probe rows [FROM COUNT] | columns | toolbar | placement | scroll ROW | type TEXT
//   palomir_probe text ID | command ID | send ID | dblclick ROW | dialog-text TITLE ID | close TITLE
//   palomir_probe text-scroll TITLE ID LINES
//   palomir_probe wait TITLE SECONDS | gone TITLE SECONDS | children TITLE | menu | tooltips | icon-colour ID [TITLE] (ID 0: the first icon)
//   palomir_probe show STATE | state | resize W H | syscommand SC | click TITLE ID | check TITLE ID
//   palomir_probe open-file PATH | set TITLE ID TEXT | select-page SHEET INDEX | tabs SHEET
//   palomir_probe focus TITLE | updown TITLE ID up|down | press TITLE ID SHOWN_ID
//   palomir_probe select TITLE ID INDEX (a drop-down list's entry) | list-rows TITLE ID | select-row TITLE ID ROW
//   (TITLE "page:SHEET": the current page of the property sheet SHEET)
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const wchar_t kMainTitle[] = L"ORVEL SNMP Trap Receiver \x30DE\x30CD\x30FC\x30B8\x30E3\x30FC";  // マネージャー

std::wstring from_utf8(const char* text)
{
    const int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, &out[0], n);
    out.resize(static_cast<std::size_t>(n > 0 ? n - 1 : 0));
    return out;
}

std::string to_utf8(const std::wstring& text)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(n > 0 ? n - 1 : 0));
    return out;
}

std::string escaped(const std::wstring& text)
{
    std::string out;
    for (char c : to_utf8(text)) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else out += c;
    }
    return out;
}

std::wstring window_text(HWND w)
{
    wchar_t text[70000];
    const LRESULT n = SendMessageW(w, WM_GETTEXT, sizeof text / sizeof text[0], reinterpret_cast<LPARAM>(text));
    return std::wstring(text, static_cast<std::size_t>(n));
}

// Memory in the window's process, for messages that carry pointers.
class Remote {
public:
    Remote(HWND w, std::size_t size)
    {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        base_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    }
    ~Remote()
    {
        VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
        CloseHandle(process_);
    }
    char* at(std::size_t offset) const { return static_cast<char*>(base_) + offset; }
    void write(std::size_t offset, const void* data, std::size_t size) const
    {
        WriteProcessMemory(process_, at(offset), data, size, nullptr);
    }
    void read(std::size_t offset, void* data, std::size_t size) const
    {
        ReadProcessMemory(process_, at(offset), data, size, nullptr);
    }

private:
    HANDLE process_;
    void* base_;
};

HWND main_window() { return FindWindowW(nullptr, kMainTitle); }

HWND trap_list() { return GetDlgItem(main_window(), 1002); }

std::wstring cell(HWND list, const Remote& remote, int row, int column, int* image)
{
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = reinterpret_cast<wchar_t*>(remote.at(sizeof item));
    item.cchTextMax = 1024;
    remote.write(0, &item, sizeof item);
    SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote.at(0)));
    remote.read(0, &item, sizeof item);
    if (image != nullptr) *image = item.iImage;
    wchar_t text[1024] = L"";
    remote.read(sizeof item, text, sizeof text);
    text[1023] = L'\0';
    return text;
}

// Rows `from` to `from + count - 1` (all rows when count < 0), then the view.
int rows(int from, int count)
{
    HWND list = trap_list();
    if (list == nullptr) return 1;
    Remote remote(list, 8192);
    const int total = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    const int end = count < 0 ? total : std::min(total, from + count);
    for (int row = from; row < end; ++row) {
        int image = -1;
        cell(list, remote, row, 0, &image);
        std::printf("%d", image);
        for (int column = 1; column <= 8; ++column) std::printf("\t%s", escaped(cell(list, remote, row, column, nullptr)).c_str());
        std::printf("\n");
    }
    // The rows in view: the last one must be among them.
    const int top = static_cast<int>(SendMessageW(list, LVM_GETTOPINDEX, 0, 0));
    const int per_page = static_cast<int>(SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0));
    std::printf("view\t%d\t%d\n", top, per_page);
    return 0;
}

int columns()
{
    HWND list = trap_list();
    if (list == nullptr) return 1;
    Remote remote(list, 4096);
    for (int i = 0; i < 9; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.pszText = reinterpret_cast<wchar_t*>(remote.at(sizeof column));
        column.cchTextMax = 256;
        remote.write(0, &column, sizeof column);
        if (!SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(remote.at(0)))) break;
        remote.read(0, &column, sizeof column);
        wchar_t text[256] = L"";
        remote.read(sizeof column, text, sizeof text);
        std::printf("%s\t%d\t%d\n", escaped(text).c_str(), column.cx, column.fmt & LVCFMT_JUSTIFYMASK);
    }
    const DWORD ex = static_cast<DWORD>(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    std::printf("extended\t%lu\t%lu\n", ex & LVS_EX_FULLROWSELECT ? 1ul : 0ul, ex & LVS_EX_INFOTIP ? 1ul : 0ul);
    // The window owns its image list and destroys it; the list must not destroy it too.
    std::printf("shared-images\t%d\n", (GetWindowLongW(list, GWL_STYLE) & LVS_SHAREIMAGELISTS) ? 1 : 0);
    return 0;
}

int toolbar()
{
    HWND bar = FindWindowExW(main_window(), nullptr, TOOLBARCLASSNAMEW, nullptr);
    if (bar == nullptr) return 1;
    Remote remote(bar, 1024);
    const int count = static_cast<int>(SendMessageW(bar, TB_BUTTONCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        SendMessageW(bar, TB_GETBUTTON, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(remote.at(0)));
        TBBUTTON b{};
        remote.read(0, &b, sizeof b);
        std::printf("%d\n", (b.fsStyle & BTNS_SEP) ? 0 : b.idCommand);
    }
    return 0;
}

int placement()
{
    RECT r;
    GetWindowRect(main_window(), &r);
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return 0;
}

// Double-clicks the list at the middle of `row`, or below the last row when row is -1.
int dblclick(int row)
{
    HWND list = trap_list();
    Remote remote(list, 256);
    RECT r{LVIR_BOUNDS, 0, 0, 0};
    int y;
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    const int target = row < 0 ? count - 1 : row;
    remote.write(0, &r, sizeof r);
    SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(target), reinterpret_cast<LPARAM>(remote.at(0)));
    remote.read(0, &r, sizeof r);
    y = row < 0 ? r.bottom + 3 * (r.bottom - r.top) : (r.top + r.bottom) / 2;
    if (count == 0) y = 40;
    const LPARAM at = MAKELPARAM(60, y);
    PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(list, WM_LBUTTONUP, 0, at);
    PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    PostMessageW(list, WM_LBUTTONUP, 0, at);
    return 0;
}

// True once the window has finished its initialisation: a dialog is shown only
// after WM_INITDIALOG has returned, and a message sent to it is handled only
// when its thread is back in a message loop.
bool ready(HWND w)
{
    DWORD_PTR result = 0;
    return w != nullptr && IsWindowVisible(w) &&
           SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &result) != 0;
}

int wait_for(const wchar_t* title, int seconds)
{
    for (int i = 0; i < seconds * 10; ++i) {
        if (ready(FindWindowW(nullptr, title))) return 0;
        Sleep(100);
    }
    return 1;
}

// Waits until no window is titled `title`, then until the main window's thread
// handles a message again: whatever followed the window's end has run.
int wait_gone(const wchar_t* title, int seconds)
{
    for (int i = 0; i < seconds * 10; ++i) {
        if (FindWindowW(nullptr, title) == nullptr) {
            DWORD_PTR result = 0;
            HWND main = main_window();
            return main == nullptr || SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, seconds * 1000, &result) != 0
                       ? 0 : 1;
        }
        Sleep(100);
    }
    return 1;
}

// The window titled `title`; "page:TITLE" is the current page of the property sheet TITLE.
HWND find_window(const std::wstring& title)
{
    if (title.empty()) return main_window();
    if (title.rfind(L"page:", 0) != 0) return FindWindowW(nullptr, title.c_str());
    HWND sheet = FindWindowW(nullptr, title.substr(5).c_str());
    return sheet == nullptr ? nullptr : reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

// Every child window of the window titled `title`: class, id, text, rect in its
// client coordinates, then enabled, checked (buttons; else -) and visible.
int children(const wchar_t* title)
{
    HWND parent = find_window(title);
    if (parent == nullptr) return 1;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t cls[64];
        GetClassNameW(child, cls, 64);
        RECT r;
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
        const bool button = std::wstring(cls) == L"Button";
        const int checked = button ? static_cast<int>(SendMessageW(child, BM_GETCHECK, 0, 0)) : -1;
        std::printf("%s\t%d\t%s\t%ld %ld %ld %ld\t%d\t%s\t%d\n", to_utf8(cls).c_str(),
                    static_cast<int>(GetDlgCtrlID(child)) & 0xFFFF, escaped(window_text(child)).c_str(), r.left, r.top,
                    r.right - r.left, r.bottom - r.top, IsWindowEnabled(child) ? 1 : 0,
                    checked < 0 ? "-" : std::to_string(checked).c_str(), IsWindowVisible(child) ? 1 : 0);
    }
    return 0;
}

void print_menu(HMENU menu, int depth)
{
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = L"";
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_STRING | MIIM_SUBMENU | MIIM_FTYPE;
        info.dwTypeData = text;
        info.cch = 256;
        GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
        const bool separator = (info.fType & MFT_SEPARATOR) != 0;
        const UINT id = separator || info.hSubMenu != nullptr ? 0u : info.wID;  // a popup has no command
        std::printf("%*s%u\t%s\n", depth * 2, "", id, separator ? "-" : to_utf8(text).c_str());
        if (info.hSubMenu != nullptr) print_menu(info.hSubMenu, depth + 1);
    }
}

int tooltips()
{
    HWND bar = FindWindowExW(main_window(), nullptr, TOOLBARCLASSNAMEW, nullptr);
    HWND tips = reinterpret_cast<HWND>(SendMessageW(bar, TB_GETTOOLTIPS, 0, 0));
    if (tips == nullptr) return 1;
    Remote remote(tips, 4096);
    const int count = static_cast<int>(SendMessageW(tips, TTM_GETTOOLCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        TOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.lpszText = reinterpret_cast<wchar_t*>(remote.at(sizeof tool));
        remote.write(0, &tool, sizeof tool);
        SendMessageW(tips, TTM_ENUMTOOLSW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(remote.at(0)));
        remote.read(0, &tool, sizeof tool);
        wchar_t text[512] = L"";
        remote.read(sizeof tool, text, sizeof text);
        text[511] = L'\0';
        std::printf("%u\t%s\n", static_cast<unsigned>(tool.uId), to_utf8(text).c_str());
    }
    return 0;
}

// The colour on the screen at (10, 24) inside control `id`: the body of the icon it shows.
// The first icon control of a dialog (the About box gives its icon no id).
HWND first_icon(HWND dialog)
{
    for (HWND c = GetWindow(dialog, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        if ((GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) return c;
    }
    return nullptr;
}

// The screen pixel 10 right of and 24 below the control's corner: a colour
// the icon's picture decides (GetIconInfo does not work on another process's icon).
int icon_colour(int id, const wchar_t* title)
{
    HWND window = title != nullptr ? FindWindowW(nullptr, title) : main_window();
    HWND control = id == 0 ? first_icon(window) : GetDlgItem(window, id);
    RECT r;
    if (control == nullptr || !GetWindowRect(control, &r)) return 1;
    HDC screen = GetDC(nullptr);
    const COLORREF c = GetPixel(screen, r.left + 10, r.top + 24);
    ReleaseDC(nullptr, screen);
    std::printf("%d %d %d\n", GetRValue(c), GetGValue(c), GetBValue(c));
    return 0;
}

// The visible open-file dialog: a dialog with a file name box (1148 or 1152).
HWND file_dialog()
{
    for (HWND w = GetTopWindow(nullptr); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
        wchar_t cls[16];
        GetClassNameW(w, cls, 16);
        if (std::wstring(cls) == L"#32770" && IsWindowVisible(w) &&
            (GetDlgItem(w, 1148) != nullptr || GetDlgItem(w, 1152) != nullptr))
            return w;
    }
    return nullptr;
}

// Prints the file types the open-file dialog offers, then opens `path` in it.
int open_file(const wchar_t* path)
{
    HWND dialog = nullptr;
    for (int i = 0; i < 100 && dialog == nullptr; ++i) {
        dialog = file_dialog();
        if (dialog == nullptr) Sleep(100);
    }
    if (dialog == nullptr) return 1;
    HWND types = GetDlgItem(dialog, 1136);  // the file type combo box
    const int count = static_cast<int>(SendMessageW(types, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = L"";
        if (SendMessageW(types, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) < 256)
            SendMessageW(types, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        std::printf("%s\n", to_utf8(text).c_str());
    }
    HWND name = GetDlgItem(dialog, 1148);
    if (name == nullptr) name = GetDlgItem(dialog, 1152);
    SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path));
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    return 0;
}

// The labels of the tabs of the property sheet titled `title`.
int tabs(const wchar_t* title)
{
    HWND sheet = FindWindowW(nullptr, title);
    HWND tab = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
    if (tab == nullptr) return 1;
    Remote remote(tab, sizeof(TCITEMW) + 512);
    const int count = static_cast<int>(SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = reinterpret_cast<wchar_t*>(remote.at(sizeof item));
        item.cchTextMax = 256;
        remote.write(0, &item, sizeof item);
        SendMessageW(tab, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(remote.at(0)));
        wchar_t text[256] = L"";
        remote.read(sizeof item, text, sizeof text);
        text[255] = L'\0';
        std::printf("%s\n", to_utf8(text).c_str());
    }
    return 0;
}

// The id of the control that has the keyboard focus in the window's thread.
int focus(HWND window)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) || info.hwndFocus == nullptr) return 1;
    HWND focused = info.hwndFocus;
    wchar_t parent_class[32] = L"";
    GetClassNameW(GetParent(focused), parent_class, 32);
    if (lstrcmpiW(parent_class, L"ComboBox") == 0) focused = GetParent(focused);  // the edit of a combo box
    std::printf("%d\n", static_cast<int>(GetDlgCtrlID(focused)) & 0xFFFF);
    return 0;
}

// A click on the upper or lower arrow of an up-down control.
void press_arrow(HWND updown, bool up)
{
    RECT r;
    GetClientRect(updown, &r);
    const LPARAM at = MAKELPARAM(r.right / 2, up ? r.bottom / 4 : r.bottom * 3 / 4);
    SendMessageW(updown, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(updown, WM_LBUTTONUP, 0, at);
}

// The rows of the list view `list`, one line each, its columns split by tabs.
int list_rows(HWND list)
{
    Remote remote(list, 8192);
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    const int columns = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        for (int column = 0; column < columns; ++column)
            std::printf("%s%s", column > 0 ? "\t" : "", escaped(cell(list, remote, row, column, nullptr)).c_str());
        std::printf("\n");
    }
    return 0;
}

int select_row(HWND list, int row)
{
    Remote remote(list, sizeof(LVITEMW));
    LVITEMW item{};
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    remote.write(0, &item, sizeof item);
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote.at(0)));
    return 0;
}

// Commands on dialogs and property sheets; TITLE may be "page:SHEET". -1: not one of them.
int dialog_command(const std::wstring& command, int argc, wchar_t** argv)
{
    static const wchar_t* const kCommands[] = {L"set", L"click", L"press", L"check", L"select-page", L"updown", L"tabs", L"focus",
                                               L"select", L"list-rows", L"select-row"};
    if (std::find(std::begin(kCommands), std::end(kCommands), command) == std::end(kCommands)) return -1;
    HWND window = argc > 2 ? find_window(argv[2]) : nullptr;
    if (window == nullptr) return 1;
    HWND control = argc > 3 ? GetDlgItem(window, _wtoi(argv[3])) : nullptr;
    if (command == L"set" && argc > 4) {  // set TITLE ID TEXT
        SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4]));
        return 0;
    }
    if (command == L"click" && argc > 3) {
        PostMessageW(control, BM_CLICK, 0, 0);
        return 0;
    }
    if (command == L"press" && argc > 4) {  // press TITLE ID SHOWN: a click that returns when handled, then a text
        SendMessageW(control, BM_CLICK, 0, 0);
        std::printf("%s\n", escaped(window_text(GetDlgItem(window, _wtoi(argv[4])))).c_str());
        return 0;
    }
    if (command == L"check" && argc > 3) {
        std::printf("%d\n", static_cast<int>(SendMessageW(control, BM_GETCHECK, 0, 0)));
        return 0;
    }
    if (command == L"select-page" && argc > 3) {  // select-page SHEET INDEX: as a click on the tab
        PostMessageW(window, PSM_SETCURSEL, static_cast<WPARAM>(_wtoi(argv[3])), 0);
        return 0;
    }
    if (command == L"updown" && argc > 4) {  // updown TITLE ID up|down
        press_arrow(control, std::wstring(argv[4]) == L"up");
        return 0;
    }
    if (command == L"select" && argc > 4) {  // as the user's choice: the owner hears of the change
        SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(_wtoi(argv[4])), 0);
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(_wtoi(argv[3]), CBN_SELCHANGE), reinterpret_cast<LPARAM>(control));
        return 0;
    }
    if (command == L"list-rows" && argc > 3) return list_rows(control);
    if (command == L"select-row" && argc > 4) return select_row(control, _wtoi(argv[4]));
    if (command == L"tabs" && argc > 2) return tabs(argv[2]);
    if (command == L"focus" && argc > 2) return focus(window);
    return -1;
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::fputs("palomir_probe: started\n", stderr);
    if (argc < 2) return 2;
    const std::wstring command = argv[1];
    const int on_dialog = dialog_command(command, argc, argv);
    if (on_dialog >= 0) return on_dialog;
    if (command == L"rows") return argc > 3 ? rows(_wtoi(argv[2]), _wtoi(argv[3])) : rows(0, -1);
    if (command == L"type" && argc > 2) {  // characters typed into the list, each handled before the next
        for (const wchar_t* c = argv[2]; *c != L'\0'; ++c) SendMessageW(trap_list(), WM_CHAR, *c, 1);  // repeat count 1
        return 0;
    }
    if (command == L"scroll" && argc > 2) {  // brings row ROW into view, as scrolling by hand would
        SendMessageW(trap_list(), LVM_ENSUREVISIBLE, static_cast<WPARAM>(_wtoi(argv[2])), FALSE);
        return 0;
    }
    if (command == L"columns") return columns();
    if (command == L"toolbar") return toolbar();
    if (command == L"placement") return placement();
    if (command == L"row-counts") {  // one line per main window: its number of rows
        for (HWND w = FindWindowW(nullptr, kMainTitle); w != nullptr; w = FindWindowExW(nullptr, w, nullptr, kMainTitle))
            std::printf("%d\n", static_cast<int>(SendMessageW(GetDlgItem(w, 1002), LVM_GETITEMCOUNT, 0, 0)));
        return 0;
    }
    if (command == L"window-rect" && argc > 2) {
        HWND w = FindWindowW(nullptr, argv[2]);
        RECT r;
        if (w == nullptr || !GetWindowRect(w, &r)) return 1;
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        return 0;
    }
    if (command == L"text" && argc > 2) {
        std::printf("%s\n", escaped(window_text(GetDlgItem(main_window(), _wtoi(argv[2])))).c_str());
        return 0;
    }
    if (command == L"command" && argc > 2) {  // posted: for commands that open a modal window
        PostMessageW(main_window(), WM_COMMAND, static_cast<WPARAM>(_wtoi(argv[2])), 0);
        return 0;
    }
    if (command == L"send" && argc > 2) {  // returns once the command has been handled
        HWND main = main_window();
        if (main == nullptr) return 1;
        SendMessageW(main, WM_COMMAND, static_cast<WPARAM>(_wtoi(argv[2])), 0);
        return 0;
    }
    if (command == L"dblclick" && argc > 2) return dblclick(_wtoi(argv[2]));
    if (command == L"children") return children(argc > 2 ? argv[2] : L"");
    if (command == L"menu" && argc > 2) {  // the window's menu bar, as the program's menu 129 holds it
        std::printf("attached\t%d\n", GetMenu(main_window()) != nullptr ? 1 : 0);
        HMODULE program = LoadLibraryExW(argv[2], nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (program == nullptr) return 1;
        print_menu(LoadMenuW(program, MAKEINTRESOURCEW(129)), 0);
        return 0;
    }
    if (command == L"tooltips") return tooltips();
    if (command == L"icon-colour" && argc > 2) return icon_colour(_wtoi(argv[2]), argc > 3 ? argv[3] : nullptr);
    if (command == L"show" && argc > 2) {
        ShowWindow(main_window(), _wtoi(argv[2]));
        return 0;
    }
    if (command == L"state") {
        std::printf("%d %d %d\n", IsZoomed(main_window()) ? 1 : 0, IsIconic(main_window()) ? 1 : 0,
                    GetForegroundWindow() == main_window() ? 1 : 0);
        return 0;
    }
    if (command == L"resize" && argc > 3) {
        SetWindowPos(main_window(), nullptr, 0, 0, _wtoi(argv[2]), _wtoi(argv[3]), SWP_NOMOVE | SWP_NOZORDER);
        return 0;
    }
    if (command == L"syscommand" && argc > 2) {
        PostMessageW(main_window(), WM_SYSCOMMAND, static_cast<WPARAM>(_wtoi(argv[2])), 0);
        return 0;
    }
    if (command == L"open-file" && argc > 2) return open_file(argv[2]);
    if (command == L"wait" && argc > 3) return wait_for(argv[2], _wtoi(argv[3]));
    if (command == L"gone" && argc > 3) return wait_gone(argv[2], _wtoi(argv[3]));
    if (command == L"dialog-text" && argc > 3) {
        HWND dialog = FindWindowW(nullptr, argv[2]);
        if (dialog == nullptr) return 1;
        std::printf("%s\n", escaped(window_text(GetDlgItem(dialog, _wtoi(argv[3])))).c_str());
        return 0;
    }
    if (command == L"text-scroll" && argc > 4) {  // a multi-line edit scrolled down by LINES
        HWND dialog = FindWindowW(nullptr, argv[2]);
        if (dialog == nullptr) return 1;
        SendMessageW(GetDlgItem(dialog, _wtoi(argv[3])), EM_LINESCROLL, 0, _wtoi(argv[4]));
        return 0;
    }
    if (command == L"redraw" && argc > 2) {
        HWND w = FindWindowW(nullptr, argv[2]);
        if (w == nullptr) return 1;
        RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        return 0;
    }
    if (command == L"close" && argc > 2) {
        HWND dialog = FindWindowW(nullptr, argv[2]);
        if (dialog == nullptr) return 1;
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        for (int i = 0; i < 50 && IsWindow(dialog); ++i) Sleep(100);
        return IsWindow(dialog) ? 1 : 0;
    }
    return 2;
}
