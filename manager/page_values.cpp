#include "manager/page_values.h"

#include <algorithm>

#include "platform/settings_store.h"

std::string read_text(const char* name, int limit, const char* fallback)
{
    std::vector<char> buffer(2 * static_cast<std::size_t>(limit) + 1, '\0');
    read_string_setting(name, buffer.data(), buffer.size(), fallback);
    return buffer.data();
}

unsigned read_number(const char* name, unsigned fallback)
{
    return static_cast<unsigned>(read_dword_setting(name, static_cast<std::int32_t>(fallback)));
}

void write_number(const char* name, unsigned value) { write_dword_setting(name, static_cast<std::int32_t>(value)); }

void copy_text(char* out, std::size_t size, const std::string& text)
{
    const std::size_t n = std::min(size - 1, text.size());
    text.copy(out, n);
    out[n] = '\0';
}

void add_list_columns(HWND dialog, HWND list, const ListColumn* columns, int count)
{
    for (int i = 0; i < count; ++i) {
        RECT width{0, 0, columns[i].width, 0};
        MapDialogRect(dialog, &width);
        std::wstring heading = widen(columns[i].heading);
        LVCOLUMNW column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.cx = width.right;
        column.pszText = &heading[0];
        column.iSubItem = i;
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
}

void fill_list(HWND list, const std::vector<std::vector<std::string>>& rows, int selected)
{
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    for (std::size_t row = 0; row < rows.size(); ++row) {
        for (std::size_t column = 0; column < rows[row].size(); ++column) {
            std::wstring text = widen(rows[row][column].c_str());
            LVITEMW cell{};
            cell.mask = LVIF_TEXT;
            cell.iItem = static_cast<int>(row);
            cell.iSubItem = static_cast<int>(column);
            cell.pszText = &text[0];
            SendMessageW(list, column == 0 ? LVM_INSERTITEMW : LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&cell));
        }
    }
    if (selected < 0) return;
    LVITEMW state{};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(selected), reinterpret_cast<LPARAM>(&state));
    SendMessageW(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(selected), FALSE);
}

// The width of a column's heading with the header's margins.
LRESULT heading_width(HWND list, int column)
{
    constexpr LRESULT kHeadingMargins = 16;
    wchar_t heading[128] = L"";
    LVCOLUMNW info{};
    info.mask = LVCF_TEXT;
    info.pszText = heading;
    info.cchTextMax = 128;
    SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&info));
    return SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(heading)) + kHeadingMargins;
}

// A long text makes the list scroll sideways rather than being cut.
void fit_list_column(HWND list, int column)
{
    constexpr LRESULT kCellGap = 8;  // autosizing leaves the texts of neighbouring cells touching
    SendMessageW(list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), LVSCW_AUTOSIZE);
    const LRESULT widest = std::max(SendMessageW(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0) + kCellGap,
                                    heading_width(list, column));
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    if (column + 1 == static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)))
        SendMessageW(list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), LVSCW_AUTOSIZE_USEHEADER);
    if (SendMessageW(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0) < widest)
        SendMessageW(list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), widest);
}

int selected_list_row(HWND list)
{
    return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}
