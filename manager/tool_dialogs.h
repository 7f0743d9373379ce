// The manager's own settings dialog (CToolProp: "tool_orvread" and
// "tool_front") and the About box.
#pragma once

#include "manager/framework/framework.h"

class CPalomirDlg;

class CToolProp : public CDialog {
public:
    // The owner is the main window, whose values the dialog shows and updates on OK.
    explicit CToolProp(CPalomirDlg& owner);

protected:
    void DoDataExchange(CDataExchange& dx) override;
    void OnOK() override;

private:
    CPalomirDlg& main_;
    int read_record_file_;
    int bring_to_front_;
};

class CAboutDlg : public CDialog {
public:
    explicit CAboutDlg(HWND owner);
};
