#include "manager/tool_dialogs.h"

#include "manager/palomir_dlg.h"
#include "manager/resource.h"
#include "platform/settings_store.h"

CToolProp::CToolProp(CPalomirDlg& owner)
    : CDialog(IDD_TOOL_SETTINGS, owner.hwnd()), main_(owner), read_record_file_(owner.tool_orvread),
      bring_to_front_(owner.tool_front)
{
}

void CToolProp::DoDataExchange(CDataExchange& dx)
{
    dx.check(IDC_TOOL_READ_RECORD_FILE, read_record_file_);
    dx.check(IDC_TOOL_BRING_TO_FRONT, bring_to_front_);
}

void CToolProp::OnOK()
{
    UpdateData(true);
    write_dword_setting("tool_orvread", read_record_file_);
    write_dword_setting("tool_front", bring_to_front_);
    main_.tool_orvread = read_record_file_;
    main_.tool_front = bring_to_front_;
    EndDialog(IDOK);
}

CAboutDlg::CAboutDlg(HWND owner) : CDialog(IDD_ABOUTBOX, owner) {}
