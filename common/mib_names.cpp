#include "common/mib_names.h"

// Placeholder until the module reader lands: no names known.
struct MibNames::Tree {};

MibNames::MibNames(std::unique_ptr<Tree> tree) : tree_(std::move(tree)) {}
MibNames::~MibNames() = default;

MibMatch MibNames::find(const char*) const { return MibMatch{"", nullptr, "", MibKind::Node, nullptr}; }

bool MibNames::name(const char*, char* out, std::size_t size) const
{
    if (size > 0) out[0] = '\0';
    return false;
}

bool MibNames::notification_name(const TrapRecord&, char* out, std::size_t size) const
{
    if (size > 0) out[0] = '\0';
    return false;
}

std::size_t MibNames::module_count() const { return 0; }

std::unique_ptr<MibNames> load_mib_names(const char*, std::vector<MibProblem>&)
{
    return std::make_unique<MibNames>(std::make_unique<MibNames::Tree>());
}

std::unique_ptr<MibNames> load_mib_texts(const std::vector<std::pair<std::string, std::string>>&,
                                         std::vector<MibProblem>&)
{
    return std::make_unique<MibNames>(std::make_unique<MibNames::Tree>());
}

std::string mib_problem_text(const MibProblem& p)
{
    return "MIBモジュールを読めません: " + p.file + " (" + std::to_string(p.line) + "行目): " + p.why;
}

const char* mib_enum_label(const MibSyntax* syntax, std::int64_t value)
{
    if (syntax == nullptr) return nullptr;
    for (std::size_t i = 0; i < syntax->item_count; ++i)
        if (syntax->items[i].value == value) return syntax->items[i].label;
    return nullptr;
}
