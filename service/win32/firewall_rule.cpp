#include "service/win32/firewall_rule.h"

#include <initguid.h>  // defines the firewall class and interface ids here
#include <netfw.h>
#include <oleauto.h>

namespace {

// A COM interface pointer released when it goes out of scope.
template <class T> class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr()
    {
        if (p_ != nullptr) p_->Release();
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T* operator->() const { return p_; }
    T* get() const { return p_; }
    void** out() { return reinterpret_cast<void**>(&p_); }

private:
    T* p_ = nullptr;
};

// A BSTR freed when it goes out of scope.
class Bstr {
public:
    explicit Bstr(const wchar_t* text) : s_(SysAllocString(text)) {}
    ~Bstr() { SysFreeString(s_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return s_; }

private:
    BSTR s_;
};

class ComScope {
public:
    ComScope() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope()
    {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT hr_;
};

HRESULT open_rules(ComPtr<INetFwRules>& rules)
{
    ComPtr<INetFwPolicy2> policy;
    HRESULT hr = CoCreateInstance(CLSID_NetFwPolicy2, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwPolicy2, policy.out());
    if (FAILED(hr)) return hr;
    return policy->get_Rules(reinterpret_cast<INetFwRules**>(rules.out()));
}

HRESULT describe_rule(INetFwRule* rule, const wchar_t* program)
{
    const Bstr name(kFirewallRuleName);
    const Bstr application(program);
    const Bstr ports(L"162");
    HRESULT hr;
    if (FAILED(hr = rule->put_Name(name.get()))) return hr;
    if (FAILED(hr = rule->put_ApplicationName(application.get()))) return hr;
    if (FAILED(hr = rule->put_Protocol(NET_FW_IP_PROTOCOL_UDP))) return hr;
    if (FAILED(hr = rule->put_LocalPorts(ports.get()))) return hr;
    if (FAILED(hr = rule->put_Direction(NET_FW_RULE_DIR_IN))) return hr;
    if (FAILED(hr = rule->put_Action(NET_FW_ACTION_ALLOW))) return hr;
    if (FAILED(hr = rule->put_Profiles(NET_FW_PROFILE2_ALL))) return hr;
    return rule->put_Enabled(VARIANT_TRUE);
}

} // namespace

HRESULT add_firewall_rule(const char* program)
{
    wchar_t wide_program[MAX_PATH + 1];
    if (MultiByteToWideChar(CP_ACP, 0, program, -1, wide_program, MAX_PATH + 1) == 0)
        return HRESULT_FROM_WIN32(GetLastError());
    const ComScope com;
    ComPtr<INetFwRules> rules;
    HRESULT hr = open_rules(rules);
    if (FAILED(hr)) return hr;
    const Bstr name(kFirewallRuleName);
    rules->Remove(name.get());  // a rule left by an earlier installation
    ComPtr<INetFwRule> rule;
    hr = CoCreateInstance(CLSID_NetFwRule, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwRule, rule.out());
    if (FAILED(hr)) return hr;
    if (FAILED(hr = describe_rule(rule.get(), wide_program))) return hr;
    return rules->Add(rule.get());
}

HRESULT remove_firewall_rule()
{
    const ComScope com;
    ComPtr<INetFwRules> rules;
    HRESULT hr = open_rules(rules);
    if (FAILED(hr)) return hr;
    const Bstr name(kFirewallRuleName);
    return rules->Remove(name.get());
}
