// The service settings sheet: four pages (storage, reception, mail, sound)
// over the receiver's settings. Each page loads its values when first shown
// and writes all of them when the sheet closes with OK; a page never shown
// writes nothing.
#pragma once

#include <string>

#include "manager/framework/framework.h"

class CMyPropertyPage1 : public CPropertyPage {  // storage
public:
    CMyPropertyPage1();

protected:
    void DoDataExchange(CDataExchange& dx) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

private:
    void update_enabling();

    int record_on_ = 0;
    std::string record_path_;
    int csv_on_ = 0;
    std::string csv_path_;
    int log_on_ = 0;
    std::string log_path_;
};

class CMyPropertyPage2 : public CPropertyPage {  // reception
public:
    CMyPropertyPage2();

protected:
    void DoDataExchange(CDataExchange& dx) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

private:
    void update_enabling();
    void browse_program();

    HWND spin_ = nullptr;
    unsigned trap_level_ = 0;
    int v2c_on_ = 1;
    int popup_on_ = 0;
    int program_on_ = 0;
    std::string program_;
    std::string popup_hosts_;
    int popup_own_host_ = 0;
};

class CMyPropertyPage3 : public CPropertyPage {  // mail
public:
    CMyPropertyPage3();

protected:
    void DoDataExchange(CDataExchange& dx) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

private:
    void update_enabling();
    void suggest_port(unsigned port);

    int mail_on_ = 0;
    unsigned smtp_port_ = 0;
    std::string smtp_server_;
    std::string mail_from_;
    std::string mail_to_;
    int security_ = 0;  // "smtp_security": 0 none, 1 STARTTLS, 2 TLS from the first byte
    int verify_on_ = 1;
    int auth_on_ = 0;
    std::string auth_user_;
    std::string auth_password_;  // plain text
    int pop3_on_ = 0;
    std::string pop3_server_;
    std::string pop3_user_;
    std::string pop3_password_;  // plain text
};

class CMyPropertyPage4 : public CPropertyPage {  // sound
public:
    CMyPropertyPage4();
    ~CMyPropertyPage4() override;

protected:
    void DoDataExchange(CDataExchange& dx) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

private:
    void update_enabling();
    void update_kind_enabling();
    void play_test_sound();

    HWND test_button_ = nullptr;
    int sound_on_ = 0;
    int sound_kind_ = -1;  // 0 beep, 1 wave file
    std::string wave_file_;
    unsigned beep_frequency_ = 0;
    unsigned beep_duration_ = 0;
    int wave_loop_ = 0;
    HICON test_icon_ = nullptr;
};

class CMyPropertySheet : public CPropertySheet {
public:
    explicit CMyPropertySheet(HWND owner);

private:
    CMyPropertyPage1 storage_;
    CMyPropertyPage2 reception_;
    CMyPropertyPage3 mail_;
    CMyPropertyPage4 sound_;
};
