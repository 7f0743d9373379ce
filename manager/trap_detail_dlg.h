// The modal "TRAP詳細" dialog: the report of one trap in an edit box.
// record_ptr is set between construction and DoModal and only read.
#pragma once

#include "common/trap_record.h"
#include "manager/framework/framework.h"

class CTrapDetailDlg : public CDialog {
public:
    explicit CTrapDetailDlg(HWND owner);
    const TrapRecord* record_ptr = nullptr;

protected:
    BOOL OnInitDialog() override;
};
