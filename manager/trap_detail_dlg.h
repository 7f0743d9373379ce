// The modal "TRAP詳細" dialog: the report of one trap in an edit box.
// record_ptr (and names, null for numbers only) are set between
// construction and DoModal and only read.
#pragma once

#include "common/mib_names.h"
#include "common/trap_record.h"
#include "manager/framework/framework.h"

class CTrapDetailDlg : public CDialog {
public:
    explicit CTrapDetailDlg(HWND owner);
    const TrapRecord* record_ptr = nullptr;
    const MibNames* names = nullptr;

protected:
    BOOL OnInitDialog() override;
};
