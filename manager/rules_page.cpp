// The sheet's rules page and the dialog that adds or edits one rule.
#include "manager/service_sheet.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "common/settings.h"
#include "manager/page_values.h"
#include "manager/resource.h"
#include "platform/settings_store.h"

namespace {

constexpr int kOidLimit = static_cast<int>(kOidTextSize - 1);
constexpr int kTextLimit = static_cast<int>(kTextSize - 1);
constexpr unsigned kMostDupSeconds = 86400;
constexpr unsigned kMostMailsPerMinute = 100000;
const char kTextTooLong[] = "255 ﾊﾞｲﾄ以内で入力してください。";
const char kTooManyRules[] = "ルールは 100 個まで登録できます。";
const char kRulesNotStored[] = "ルールを保存できませんでした。";
const char kEvery[] = "(すべて)";

std::string or_every(const char* text) { return text[0] != '\0' ? text : kEvery; }

std::string notification_cell(const RuleSetting& r)
{
    if (r.oid[0] == '\0') return kEvery;
    return std::string(r.oid) + (is_on(r.f_subtree) ? " 以下" : "");
}

// The binding's OID and the text its value contains: `1.3.6.1.2.1.2.2.1.2 に "Gi0/1"`.
std::string value_cell(const RuleSetting& r)
{
    std::string cell = r.value_oid;
    if (r.value_text[0] != '\0') cell += (cell.empty() ? "\"" : " に \"") + std::string(r.value_text) + "\"";
    return cell.empty() ? kEvery : cell;
}

// A rule the receiver leaves out (one edited by hand in the store) shows why.
std::string action_cell(const RuleSetting& r)
{
    if (const char* problem = rule_problem(r)) return std::string("無効: ") + problem;
    if (is_on(r.f_drop)) return "破棄";
    const std::pair<std::int32_t, const char*> notifications[] = {
        {r.f_sound, "音"}, {r.f_popup, "ポップアップ"}, {r.f_program, "プログラム起動"}, {r.f_email, "メール"},
        {r.f_syslog, "syslog"}};
    std::string cell;
    for (const auto& notification : notifications) {
        if (is_on(notification.first)) cell += (cell.empty() ? "" : " ") + std::string(notification.second);
    }
    return cell.empty() ? "通知なし" : cell;
}

// The field rule_problem() finds fault with: each field is tried alone.
int problem_control(const RuleSetting& r)
{
    RuleSetting part{};
    std::memcpy(part.oid, r.oid, sizeof part.oid);
    if (rule_problem(part) != nullptr) return IDC_RULE_OID;
    part = RuleSetting{};
    std::memcpy(part.address, r.address, sizeof part.address);
    if (rule_problem(part) != nullptr) return IDC_RULE_ADDRESS;
    return IDC_RULE_VALUE_OID;
}

} // namespace

// --- Rule dialog ------------------------------------------------------------------

CRuleDlg::CRuleDlg(HWND owner, const RuleSetting& rule) : CDialog(IDD_RULE, owner), rule_(rule)
{
    on_command(IDC_RULE_NOTIFY, [this] { update_enabling(); });
    on_command(IDC_RULE_DROP, [this] { update_enabling(); });
}

BOOL CRuleDlg::OnInitDialog()
{
    oid_ = rule_.oid;
    subtree_ = rule_.f_subtree;
    address_ = rule_.address;
    community_ = rule_.community;
    value_oid_ = rule_.value_oid;
    value_text_ = rule_.value_text;
    action_ = is_on(rule_.f_drop) ? 1 : 0;
    sound_ = rule_.f_sound;
    popup_ = rule_.f_popup;
    program_ = rule_.f_program;
    mail_ = rule_.f_email;
    syslog_ = rule_.f_syslog;
    UpdateData(false);
    update_enabling();
    return TRUE;
}

void CRuleDlg::DoDataExchange(CDataExchange& dx)
{
    dx.text(IDC_RULE_OID, oid_, kOidLimit);
    dx.check(IDC_RULE_SUBTREE, subtree_);
    dx.text(IDC_RULE_ADDRESS, address_, kTextLimit);
    exchange_bytes(dx, IDC_RULE_COMMUNITY, community_);
    dx.text(IDC_RULE_VALUE_OID, value_oid_, kOidLimit);
    exchange_bytes(dx, IDC_RULE_VALUE_TEXT, value_text_);
    dx.radio(IDC_RULE_NOTIFY, action_);
    dx.check(IDC_RULE_SOUND, sound_);
    dx.check(IDC_RULE_POPUP, popup_);
    dx.check(IDC_RULE_PROGRAM, program_);
    dx.check(IDC_RULE_MAIL, mail_);
    dx.check(IDC_RULE_SYSLOG, syslog_);
    if (dx.save && dx.ok()) take_values(dx);
}

// A text the rule keeps in 256 bytes: in code page 932 a character may take two.
void CRuleDlg::exchange_bytes(CDataExchange& dx, int id, std::string& value)
{
    dx.text(id, value, kTextLimit);
    if (dx.save && dx.ok() && value.size() > static_cast<std::size_t>(kTextLimit)) dx.fail(id, kTextTooLong);
}

// The dialog's values into the rule, refused as the receiver would refuse them.
void CRuleDlg::take_values(CDataExchange& dx)
{
    RuleSetting r{};
    copy_text(r.oid, sizeof r.oid, oid_);
    r.f_subtree = subtree_;
    copy_text(r.address, sizeof r.address, address_);
    copy_text(r.community, sizeof r.community, community_);
    copy_text(r.value_oid, sizeof r.value_oid, value_oid_);
    copy_text(r.value_text, sizeof r.value_text, value_text_);
    r.f_drop = action_ == 1 ? 1 : 0;
    r.f_sound = sound_;
    r.f_popup = popup_;
    r.f_program = program_;
    r.f_email = mail_;
    r.f_syslog = syslog_;
    if (const char* problem = rule_problem(r)) return dx.fail(problem_control(r), problem);
    rule_ = r;
}

// A dropped trap is not notified: its notifications are greyed, their ticks kept.
void CRuleDlg::update_enabling()
{
    const bool notify = !is_checked(IDC_RULE_DROP);
    for (int id : {IDC_RULE_SOUND, IDC_RULE_POPUP, IDC_RULE_PROGRAM, IDC_RULE_MAIL, IDC_RULE_SYSLOG}) enable(id, notify);
}

// --- Rules page -------------------------------------------------------------------

CMyPropertyPage7::CMyPropertyPage7() : CPropertyPage(IDD_PAGE_RULES)
{
    on_command(IDC_RULES_ADD, [this] { add_rule(); });
    on_command(IDC_RULES_EDIT, [this] { edit_rule(); });
    on_command(IDC_RULES_DELETE, [this] { delete_rule(); });
    on_command(IDC_RULES_UP, [this] { move_rule(-1); });
    on_command(IDC_RULES_DOWN, [this] { move_rule(1); });
    on_notify(IDC_RULES_LIST, NM_DBLCLK, [this](NMHDR*) { edit_rule(); });
    on_notify(IDC_RULES_LIST, LVN_ITEMCHANGED, [this](NMHDR*) { update_enabling(); });
}

void CMyPropertyPage7::DoDataExchange(CDataExchange& dx)
{
    dx.number(IDC_RULES_DUP_SECONDS, dup_seconds_, 0, kMostDupSeconds);
    dx.number(IDC_RULES_MAIL_MAX, mail_max_per_minute_, 0, kMostMailsPerMinute);
    if (dx.save && dx.ok() && rules_changed_) refuse_unusable_rule(dx);
}

// A changed list is stored whole or not at all: a rule the store refuses
// keeps the page open, named, so that it can be mended or deleted first.
void CMyPropertyPage7::refuse_unusable_rule(CDataExchange& dx)
{
    for (std::size_t i = 0; i < rules_.size(); ++i) {
        if (const char* problem = rule_problem(rules_[i]))
            return dx.fail(IDC_RULES_LIST, "ルール " + std::to_string(i + 1) + ": " + problem);
    }
}

BOOL CMyPropertyPage7::OnInitDialog()
{
    static const ListColumn kColumns[] = {{"番号", 22}, {"通知", 60},  {"アドレス", 44},
                                          {"コミュニティ/ユーザー", 50}, {"値", 30}, {"動作", 40}};
    add_list_columns(hwnd(), item(IDC_RULES_LIST), kColumns, 6);
    rules_.resize(kMaxRules);
    rules_.resize(static_cast<std::size_t>(read_rule_settings(rules_.data(), kMaxRules)));
    dup_seconds_ = read_number("dup_seconds", 0);
    mail_max_per_minute_ = read_number("mail_max_per_minute", 0);
    UpdateData(false);
    show_rules(-1);
    return TRUE;
}

// The list shows the rules as they will be stored, each column wide enough for its texts.
void CMyPropertyPage7::show_rules(int selected)
{
    std::vector<std::vector<std::string>> rows;
    for (const RuleSetting& r : rules_) {
        rows.push_back({std::to_string(rows.size() + 1), notification_cell(r), or_every(r.address),
                        or_every(r.community), value_cell(r), action_cell(r)});
    }
    HWND list = item(IDC_RULES_LIST);
    fill_list(list, rows, selected);
    for (int column = 0; column < 6; ++column) fit_list_column(list, column);
    update_enabling();
}

void CMyPropertyPage7::update_enabling()
{
    const int row = selected_list_row(item(IDC_RULES_LIST));
    enable(IDC_RULES_EDIT, row >= 0);
    enable(IDC_RULES_DELETE, row >= 0);
    enable(IDC_RULES_UP, row > 0);
    enable(IDC_RULES_DOWN, row >= 0 && row + 1 < static_cast<int>(rules_.size()));
}

void CMyPropertyPage7::add_rule()
{
    if (rules_.size() >= static_cast<std::size_t>(kMaxRules)) {
        message_box(sheet(), kTooManyRules, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    CRuleDlg dialog(sheet(), RuleSetting{});
    if (dialog.DoModal() != IDOK) return;
    rules_.push_back(dialog.rule());
    rules_changed_ = true;
    show_rules(static_cast<int>(rules_.size()) - 1);
}

void CMyPropertyPage7::edit_rule()
{
    const int row = selected_list_row(item(IDC_RULES_LIST));
    if (row < 0) return;
    CRuleDlg dialog(sheet(), rules_[static_cast<std::size_t>(row)]);
    if (dialog.DoModal() != IDOK) return;
    rules_[static_cast<std::size_t>(row)] = dialog.rule();
    rules_changed_ = true;
    show_rules(row);
}

void CMyPropertyPage7::delete_rule()
{
    const int row = selected_list_row(item(IDC_RULES_LIST));
    if (row < 0) return;
    rules_.erase(rules_.begin() + row);
    rules_changed_ = true;
    show_rules(-1);
}

// Moves the selected rule `step` places up (-1) or down (1); it stays selected.
void CMyPropertyPage7::move_rule(int step)
{
    const int row = selected_list_row(item(IDC_RULES_LIST));
    const int to = row + step;
    if (row < 0 || to < 0 || to >= static_cast<int>(rules_.size())) return;
    std::swap(rules_[static_cast<std::size_t>(row)], rules_[static_cast<std::size_t>(to)]);
    rules_changed_ = true;
    show_rules(to);
}

// The stored rules are replaced only when the list was changed: a list
// never touched stays as it is stored, whatever it holds.
void CMyPropertyPage7::OnOK()
{
    UpdateData(true);
    write_number("dup_seconds", dup_seconds_);
    write_number("mail_max_per_minute", mail_max_per_minute_);
    if (!rules_changed_) return;
    if (write_rule_settings(rules_.data(), static_cast<int>(rules_.size())) == 0)
        message_box(sheet(), kRulesNotStored, MB_OK | MB_ICONEXCLAMATION);
    rules_changed_ = false;
}
