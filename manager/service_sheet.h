// The service settings sheet: seven pages (storage, reception, mail, sound,
// SNMPv3, forwarding, rules) over the receiver's settings. Each page loads its values when first shown
// and writes all of them when the sheet closes with OK; a page never shown
// writes nothing.
#pragma once

#include <string>
#include <vector>

#include "common/trap_rules.h"
#include "common/usm_users.h"
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
    int mib_names_on_ = 1;   // "f_mibnames"
    std::string mib_dirs_;   // "mibdirs": folders of MIB modules, ';' between
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

// Adds or edits one SNMPv3 user. The passwords are never put into the
// dialog: a stored one shows as a placeholder and is kept while its field
// holds the placeholder. OK validates as the store does.
class CUsmUserDlg : public CDialog {
public:
    // `taken` tells whether a new name is already in use; editing fixes the name.
    CUsmUserDlg(HWND owner, const UsmUserSetting& user, bool editing, std::function<bool(const std::string&)> taken);
    const UsmUserSetting& user() const { return user_; }

protected:
    void DoDataExchange(CDataExchange& dx) override;
    BOOL OnInitDialog() override;

private:
    void update_enabling();
    void validate(CDataExchange& dx);
    void take_values();
    std::string password(const std::string& field, const char* stored) const;

    UsmUserSetting user_;
    bool editing_;
    std::function<bool(const std::string&)> taken_;
    std::string name_;
    int auth_ = 0;
    std::string auth_field_;
    int priv_ = 0;
    std::string priv_field_;
    std::string engine_id_;
};

class CMyPropertyPage5 : public CPropertyPage {  // SNMPv3
public:
    CMyPropertyPage5();

protected:
    void DoDataExchange(CDataExchange& dx) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

private:
    struct Entry {
        UsmUserSetting user;  // passwords in plain text
        bool changed;         // written at OK
    };
    void load_users();
    void show_users(int selected);
    int selected_row() const;
    void update_enabling();
    void add_user();
    void edit_user();
    void delete_user();
    bool name_taken(const std::string& name) const;
    void store_users();

    std::vector<Entry> users_;
    std::vector<std::string> deleted_;  // subkeys deleted at OK, before the users are written
    std::string engine_id_;
    std::string communities_;
    int v3_only_ = 0;
};

class CMyPropertyPage6 : public CPropertyPage {  // forwarding: syslog, JSON lines file, further managers
public:
    CMyPropertyPage6();

protected:
    void DoDataExchange(CDataExchange& dx) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

private:
    void update_enabling();
    void suggest_port();
    void exchange_facility(CDataExchange& dx);

    int syslog_on_ = 0;
    std::string syslog_host_;
    unsigned syslog_port_ = 514;
    bool port_stored_ = false;  // while not, the port follows the transport
    int transport_ = 0;         // "syslog_transport": 0 UDP, 1 TCP, 2 TLS
    int verify_on_ = 1;
    int facility_ = 16;
    std::string facility_text_;
    int json_on_ = 0;
    std::string json_path_;
    std::string forward_hosts_;
};

// Adds or edits one rule. OK refuses a rule the receiver could not use
// (rule_problem), naming the field.
class CRuleDlg : public CDialog {
public:
    CRuleDlg(HWND owner, const RuleSetting& rule);
    const RuleSetting& rule() const { return rule_; }

protected:
    void DoDataExchange(CDataExchange& dx) override;
    BOOL OnInitDialog() override;

private:
    void update_enabling();
    void exchange_bytes(CDataExchange& dx, int id, std::string& value);
    void take_values(CDataExchange& dx);

    RuleSetting rule_;
    std::string oid_;
    int subtree_ = 0;
    std::string address_;
    std::string community_;
    std::string value_oid_;
    std::string value_text_;
    int action_ = 0;  // 0 notify, 1 drop
    int sound_ = 0;
    int popup_ = 0;
    int program_ = 0;
    int mail_ = 0;
    int syslog_ = 0;
};

class CMyPropertyPage7 : public CPropertyPage {  // rules, duplicates and the mail limit
public:
    CMyPropertyPage7();

protected:
    void DoDataExchange(CDataExchange& dx) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

private:
    void show_rules(int selected);
    void update_enabling();
    void add_rule();
    void edit_rule();
    void delete_rule();
    void move_rule(int step);
    void refuse_unusable_rule(CDataExchange& dx);

    std::vector<RuleSetting> rules_;
    bool rules_changed_ = false;  // the stored list is replaced at OK only when changed
    unsigned dup_seconds_ = 0;
    unsigned mail_max_per_minute_ = 0;
};

class CMyPropertySheet : public CPropertySheet {
public:
    explicit CMyPropertySheet(HWND owner);

private:
    CMyPropertyPage1 storage_;
    CMyPropertyPage2 reception_;
    CMyPropertyPage3 mail_;
    CMyPropertyPage4 sound_;
    CMyPropertyPage5 snmpv3_;
    CMyPropertyPage6 forward_;
    CMyPropertyPage7 rules_;
};
