#include "manager/trap_detail_dlg.h"

#include <new>
#include <vector>

#include "common/trap_report.h"
#include "manager/resource.h"

CTrapDetailDlg::CTrapDetailDlg(HWND owner) : CDialog(IDD_TRAP_DETAIL, owner) {}

BOOL CTrapDetailDlg::OnInitDialog()
{
    if (record_ptr == nullptr) return TRUE;
    std::vector<char> text;
    try {
        text.assign(kReportBufferSize, '\0');
    } catch (const std::bad_alloc&) {
        return TRUE;  // the box stays empty
    }
    format_trap_report(text.data(), text.size(), *record_ptr, "\r\n", names);
    set_item_text(IDC_DETAIL_REPORT, text.data());
    return TRUE;
}
