#include "common/mib_names.h"

#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <unordered_map>

#include "common/mib_parser.h"
#include "platform/folders.h"

namespace {

const char kMissingModule[] = "IMPORTS のモジュールがありません: ";
const char kImportLoop[] = "IMPORTS が循環しています: ";
const char kUndefined[] = "定義がありません: ";
const char kValueLoop[] = "定義が循環しています: ";
const char kUnknownMacro[] = "知らないマクロです: ";
const char kTooDeep[] = "定義の連なりが長すぎます: ";
const char kTooLarge[] = "ファイルが大きすぎます";
const char kUnreadableFile[] = "ファイルを読めません";

// The largest module file read; vendors' largest files are a few MB.
constexpr std::size_t kMostFileBytes = 64u * 1024 * 1024;
// How deep IMPORTS and type references are followed before they count as a loop.
constexpr int kMostDepth = 64;
// The longest chain of values each defined under the one before: identifiers
// have at most 128 arcs, so a longer chain is no real module's.
constexpr int kMostChain = 256;

// SMIv1 modules: the base modules of RFC 1155, 1212, 1213 and 1215, and every
// module that imports from one of them.
bool is_smiv1(const MibModuleText& m)
{
    static const char* const kBases[] = {"RFC1155-SMI", "RFC-1212", "RFC-1215", "RFC1213-MIB"};
    for (const char* base : kBases) {
        if (m.name == base) return true;
        for (const MibImport& import : m.imports)
            if (import.module == base) return true;
    }
    return false;
}

struct BuiltinMib {
    const char* file;
    const char* text;
};

const BuiltinMib kBuiltinMibs[] = {
#include "mib_builtin.inc"
    {nullptr, nullptr}};

} // namespace

struct MibNames::Tree {
    struct Node {
        std::uint32_t arc;
        std::int32_t def;  // -1: no name
        std::uint32_t first_child;
        std::uint32_t child_count;
    };
    struct Def {
        const char* module;
        const char* label;
        MibKind kind;
        const MibSyntax* syntax;
    };
    std::deque<std::string> strings;
    std::deque<std::vector<MibEnumItem>> item_lists;
    std::deque<MibSyntax> syntaxes;
    std::vector<Node> nodes;  // nodes[0] stands above the roots; a node's children are contiguous, by arc
    std::vector<Def> defs;
    std::size_t modules = 0;

    // The child of `node` with `arc`, or -1.
    std::int64_t child(std::uint32_t node, std::uint32_t arc) const
    {
        std::uint32_t lo = nodes[node].first_child;
        std::uint32_t hi = lo + nodes[node].child_count;
        while (lo < hi) {
            const std::uint32_t mid = lo + (hi - lo) / 2;
            if (nodes[mid].arc < arc) lo = mid + 1;
            else hi = mid;
        }
        if (lo == nodes[node].first_child + nodes[node].child_count || nodes[lo].arc != arc) return -1;
        return lo;
    }
};

namespace {

// Resolves the modules' names to identifiers and builds the tree.
class Builder {
public:
    explicit Builder(std::vector<MibProblem>& problems) : problems_(problems) {}

    void add(MibModuleText&& m, bool replaces)
    {
        if (m.name.empty()) {
            problems_.push_back({m.file, m.fault_line, m.why});
            return;
        }
        const auto known = index_.find(m.name);
        if (known != index_.end()) {
            if (!replaces) return;  // the first file of a module is kept
            modules_[known->second] = State(std::move(m));
            return;
        }
        index_.emplace(m.name, modules_.size());
        modules_.push_back(State(std::move(m)));
    }
    // Files read after this replace these modules.
    void end_of_builtins() { builtins_ = modules_.size(); }
    bool is_builtin(const std::string& module) const
    {
        const auto known = index_.find(module);
        return known != index_.end() && known->second < builtins_ && !modules_[known->second].from_file;
    }
    void mark_from_file(const std::string& module)
    {
        const auto known = index_.find(module);
        if (known != index_.end()) modules_[known->second].from_file = true;
    }

    std::unique_ptr<MibNames::Tree> build();

private:
    enum : std::int64_t { kUnresolved = -2, kInProgress = -3, kFailed = -1 };

    struct State {
        explicit State(MibModuleText&& m) : text(std::move(m))
        {
            for (std::size_t i = 0; i < text.values.size(); ++i) values.emplace(text.values[i].label, i);
            for (std::size_t i = 0; i < text.types.size(); ++i) types.emplace(text.types[i].name, i);
            for (const MibImport& import : text.imports) imports.emplace(import.symbol, &import);
            value_node.assign(text.values.size(), kUnresolved);
            if (text.fault_line != 0) note(text.fault_line, text.why);
            if (text.unknown_macro_line != 0) note(text.unknown_macro_line, kUnknownMacro + text.unknown_macro);
            smiv1 = is_smiv1(text);
        }
        // Keeps the fault with the lowest line: the module's first.
        void note(int line, const std::string& why)
        {
            if (problem_line != 0 && problem_line <= line) return;
            problem_line = line;
            problem_why = why;
        }
        State(State&& other) noexcept = default;
        State& operator=(State&& other) noexcept = default;

        MibModuleText text;
        std::unordered_map<std::string, std::size_t> values;
        std::unordered_map<std::string, std::size_t> types;
        std::unordered_map<std::string, const MibImport*> imports;
        std::vector<std::int64_t> value_node;
        std::vector<std::pair<std::uint32_t, const std::string*>> arc_names;  // "name(n)" arcs
        int problem_line = 0;  // 0: none
        std::string problem_why;
        bool smiv1 = false;
        bool from_file = false;
    };
    struct BuildNode {
        std::uint32_t arc;
        std::map<std::uint32_t, std::uint32_t> children;
        std::int32_t def = -1;
    };

    static void problem(State& m, int line, const std::string& why) { m.note(line, why); }

    std::uint32_t child_of(std::uint32_t node, std::uint32_t arc)
    {
        const auto found = nodes_[node].children.find(arc);
        if (found != nodes_[node].children.end()) return found->second;
        const auto created = static_cast<std::uint32_t>(nodes_.size());
        nodes_.push_back(BuildNode{arc, {}, -1});
        nodes_[node].children.emplace(arc, created);
        return created;
    }

    std::int64_t resolve_value(std::size_t mi, std::size_t vi);
    std::int64_t resolve_symbol(std::size_t mi, const std::string& label, int line, int depth);
    std::int64_t follow_import(std::size_t mi, std::size_t from, const std::string& label, int line, int depth);
    // The module and type a type name leads to from module `mi`; false for a base type.
    bool find_type(std::size_t mi, const std::string& name, std::size_t& out_module, std::size_t& out_type, int depth);
    const MibSyntax* syntax_of(std::size_t mi, const MibTypeText& type);
    const char* intern(const std::string& text);
    void name_node(std::uint32_t node, const char* module, const std::string& label, MibKind kind,
                   const MibSyntax* syntax, bool smiv1);
    std::unique_ptr<MibNames::Tree> flatten();

    std::vector<MibProblem>& problems_;
    std::vector<State> modules_;
    std::unordered_map<std::string, std::size_t> index_;
    std::size_t builtins_ = 0;
    std::vector<BuildNode> nodes_;
    std::unique_ptr<MibNames::Tree> tree_;
    std::vector<bool> def_smiv1_;  // per name in the tree: from an SMIv1 module
    std::unordered_map<std::string, const char*> interned_;
    std::vector<std::pair<std::size_t, std::string>> following_;  // imports being followed
    bool loop_ = false;  // the imports being followed came back to one of them
    int depth_ = 0;      // values being resolved, one inside the other
};

const char* Builder::intern(const std::string& text)
{
    const auto found = interned_.find(text);
    if (found != interned_.end()) return found->second;
    const char* kept = tree_->strings.emplace_back(text).c_str();
    interned_.emplace(text, kept);
    return kept;
}

std::int64_t Builder::follow_import(std::size_t mi, std::size_t from, const std::string& label, int line, int depth)
{
    State& m = modules_[mi];
    for (const auto& f : following_) {
        if (f.first == from && f.second == label) {
            problem(m, line, kImportLoop + label);
            loop_ = true;
            return kFailed;
        }
    }
    if (depth > kMostDepth) return kFailed;
    following_.emplace_back(from, label);
    const std::int64_t node = resolve_symbol(from, label, line, depth + 1);
    following_.pop_back();
    if (node < 0) problem(m, line, (loop_ ? kImportLoop : kUndefined) + label);
    if (following_.empty()) loop_ = false;
    return node;
}

std::int64_t Builder::resolve_symbol(std::size_t mi, const std::string& label, int line, int depth)
{
    State& m = modules_[mi];
    const auto local = m.values.find(label);
    if (local != m.values.end()) return resolve_value(mi, local->second);
    const auto imported = m.imports.find(label);
    if (imported != m.imports.end()) {
        const auto from = index_.find(imported->second->module);
        if (from != index_.end()) return follow_import(mi, from->second, label, imported->second->line, depth);
        // The module is missing (its own fault): any module that defines the name will do.
    }
    static const char* const kRoots[] = {"ccitt", "iso", "joint-iso-ccitt"};
    for (std::uint32_t arc = 0; arc < 3; ++arc)
        if (label == kRoots[arc]) return child_of(0, arc);
    // Vendors' modules often use a name they do not import: any module that defines it will do.
    for (std::size_t other = 0; other < modules_.size(); ++other) {
        if (other == mi) continue;
        const auto found = modules_[other].values.find(label);
        if (found != modules_[other].values.end()) return resolve_value(other, found->second);
    }
    problem(m, line, kUndefined + label);
    return kFailed;
}

std::int64_t Builder::resolve_value(std::size_t mi, std::size_t vi)
{
    State& m = modules_[mi];
    const MibValueText& v = m.text.values[vi];
    if (m.value_node[vi] == kInProgress) {
        problem(m, v.line, kValueLoop + v.label);
        loop_ = !following_.empty();  // through IMPORTS: each module's import is part of the loop
        return kFailed;
    }
    if (m.value_node[vi] != kUnresolved) return m.value_node[vi];
    if (depth_ >= kMostChain) {
        problem(m, v.line, kTooDeep + v.label);
        return kFailed;
    }
    m.value_node[vi] = kInProgress;
    ++depth_;
    std::int64_t node = 0;
    if (!v.parent.empty()) node = resolve_symbol(mi, v.parent, v.line, 0);
    if (node >= 0) {
        for (const MibArcText& arc : v.arcs) {
            node = child_of(static_cast<std::uint32_t>(node), arc.number);
            if (!arc.label.empty() && arc.label != v.label)
                m.arc_names.emplace_back(static_cast<std::uint32_t>(node), &arc.label);
        }
        if (node == 0) node = kFailed;  // "{ }" names nothing
    }
    --depth_;
    m.value_node[vi] = node;
    return node;
}

bool Builder::find_type(std::size_t mi, const std::string& name, std::size_t& out_module, std::size_t& out_type,
                        int depth)
{
    if (depth > kMostDepth) return false;
    const State& m = modules_[mi];
    const auto local = m.types.find(name);
    if (local != m.types.end()) {
        out_module = mi;
        out_type = local->second;
        return true;
    }
    const auto imported = m.imports.find(name);
    if (imported != m.imports.end()) {
        const auto from = index_.find(imported->second->module);
        return from != index_.end() && find_type(from->second, name, out_module, out_type, depth + 1);
    }
    for (std::size_t other = 0; other < modules_.size(); ++other) {
        const auto found = modules_[other].types.find(name);
        if (other != mi && found != modules_[other].types.end()) {
            out_module = other;
            out_type = found->second;
            return true;
        }
    }
    return false;
}

// Follows the SYNTAX through the type assignments it names: the first
// enumeration and the first DISPLAY-HINT on the way, and the first
// TEXTUAL-CONVENTION's name. Null when none of them is there.
const MibSyntax* Builder::syntax_of(std::size_t mi, const MibTypeText& type)
{
    const MibTypeText* items = type.items.empty() ? nullptr : &type;
    std::string hint = type.hint;
    std::string convention;
    const MibTypeText* at = &type;
    std::size_t module = mi;
    for (int depth = 0; depth < kMostDepth; ++depth) {
        std::size_t next_module = 0;
        std::size_t next_type = 0;
        if (!find_type(module, at->name, next_module, next_type, 0)) break;
        const MibTypeAssignment& named = modules_[next_module].text.types[next_type];
        if (named.type.convention && convention.empty()) convention = named.name;
        if (items == nullptr && !named.type.items.empty()) items = &named.type;
        if (hint.empty()) hint = named.type.hint;
        if (named.type.name == named.name) break;  // "Foo ::= Foo"
        at = &named.type;
        module = next_module;
    }
    if (items == nullptr && hint.empty() && convention.empty()) return nullptr;
    std::vector<MibEnumItem>& list = tree_->item_lists.emplace_back();
    if (items != nullptr)
        for (const MibItemText& item : items->items) list.push_back({item.value, intern(item.label)});
    return &tree_->syntaxes.emplace_back(MibSyntax{list.data(), list.size(),
                                                   items != nullptr && items->name == "BITS",
                                                   intern(hint), intern(convention)});
}

// The first module to name an identifier names it, except that an SMIv2
// module's name is taken over an SMIv1 module's: SNMPv2-SMI::enterprises
// rather than RFC1155-SMI::enterprises, IF-MIB::ifIndex rather than
// RFC1213-MIB::ifIndex, whichever file came first.
void Builder::name_node(std::uint32_t node, const char* module, const std::string& label, MibKind kind,
                        const MibSyntax* syntax, bool smiv1)
{
    const std::int32_t named = nodes_[node].def;
    if (named >= 0 && (smiv1 || !def_smiv1_[named])) return;
    nodes_[node].def = static_cast<std::int32_t>(tree_->defs.size());
    tree_->defs.push_back({module, intern(label), kind, syntax});
    def_smiv1_.push_back(smiv1);
}

std::unique_ptr<MibNames::Tree> Builder::build()
{
    tree_ = std::make_unique<MibNames::Tree>();
    nodes_.assign(1, BuildNode{0, {}, -1});
    static const char* const kRoots[] = {"ccitt", "iso", "joint-iso-ccitt"};
    for (std::uint32_t arc = 0; arc < 3; ++arc) name_node(child_of(0, arc), intern(""), kRoots[arc], MibKind::Node, nullptr, false);
    for (State& m : modules_) {
        for (const MibImport& import : m.text.imports)
            if (index_.find(import.module) == index_.end()) problem(m, import.line, kMissingModule + import.module);
    }
    for (std::size_t mi = 0; mi < modules_.size(); ++mi)
        for (std::size_t vi = 0; vi < modules_[mi].text.values.size(); ++vi) resolve_value(mi, vi);
    for (std::size_t mi = 0; mi < modules_.size(); ++mi) {
        State& m = modules_[mi];
        const char* module = intern(m.text.name);
        for (std::size_t vi = 0; vi < m.text.values.size(); ++vi) {
            if (m.value_node[vi] < 0) continue;
            const MibValueText& v = m.text.values[vi];
            const MibSyntax* syntax = v.kind == MibKind::Object && v.has_syntax ? syntax_of(mi, v.syntax) : nullptr;
            name_node(static_cast<std::uint32_t>(m.value_node[vi]), module, v.label, v.kind, syntax, m.smiv1);
        }
        for (const auto& arc : m.arc_names) name_node(arc.first, module, *arc.second, MibKind::Node, nullptr, m.smiv1);
    }
    for (const State& m : modules_)
        if (m.problem_line != 0) problems_.push_back({m.text.file, m.problem_line, m.problem_why});
    tree_->modules = modules_.size();
    return flatten();
}

// The nodes in breadth-first order, so that each node's children lie side by side, by arc.
std::unique_ptr<MibNames::Tree> Builder::flatten()
{
    std::vector<MibNames::Tree::Node>& flat = tree_->nodes;
    flat.reserve(nodes_.size());
    std::vector<std::uint32_t> order{0};
    flat.push_back({0, nodes_[0].def, 0, 0});
    for (std::size_t i = 0; i < order.size(); ++i) {
        const BuildNode& node = nodes_[order[i]];
        flat[i].first_child = static_cast<std::uint32_t>(flat.size());
        flat[i].child_count = static_cast<std::uint32_t>(node.children.size());
        for (const auto& child : node.children) {
            order.push_back(child.second);
            flat.push_back({child.first, nodes_[child.second].def, 0, 0});
        }
    }
    return std::move(tree_);
}

// Reads the digits of one arc at p; false when there are none or it passes 2^32-1.
bool read_arc(const char*& p, std::uint32_t& arc)
{
    if (*p < '0' || *p > '9') return false;
    std::uint64_t v = 0;
    while (*p >= '0' && *p <= '9') {
        v = v * 10 + static_cast<std::uint64_t>(*p++ - '0');
        if (v > 0xFFFFFFFFull) return false;
    }
    arc = static_cast<std::uint32_t>(v);
    return true;
}

std::unique_ptr<MibNames> load_into(Builder& builder, const std::vector<std::pair<std::string, std::string>>& files)
{
    for (const auto& file : files) {
        for (MibModuleText& m : parse_mib_text(file.first, file.second)) {
            const std::string name = m.name;
            const bool replaces = builder.is_builtin(name);
            builder.add(std::move(m), replaces);
            if (replaces) builder.mark_from_file(name);
        }
    }
    return std::make_unique<MibNames>(builder.build());
}

Builder& with_builtins(Builder& builder)
{
    for (const BuiltinMib* b = kBuiltinMibs; b->file != nullptr; ++b)
        for (MibModuleText& m : parse_mib_text(b->file, b->text)) builder.add(std::move(m), false);
    builder.end_of_builtins();
    return builder;
}

} // namespace

MibNames::MibNames(std::unique_ptr<Tree> tree) : tree_(std::move(tree)) {}
MibNames::~MibNames() = default;

MibMatch MibNames::find(const char* oid) const
{
    const MibMatch none{"", nullptr, "", MibKind::Node, nullptr};
    if (oid == nullptr || tree_ == nullptr || tree_->nodes.empty()) return none;
    std::int64_t node = 0;
    std::int64_t best = -1;
    const char* best_end = oid;
    for (const char* p = oid;;) {
        std::uint32_t arc = 0;
        if (!read_arc(p, arc)) return none;
        if (node >= 0) node = tree_->child(static_cast<std::uint32_t>(node), arc);
        if (node >= 0 && tree_->nodes[node].def >= 0) {
            best = node;
            best_end = p;
        }
        if (*p == '\0') break;
        if (*p++ != '.') return none;
    }
    if (best < 0) return none;
    const Tree::Def& def = tree_->defs[tree_->nodes[best].def];
    return MibMatch{def.module, def.label, *best_end == '\0' ? best_end : best_end + 1, def.kind, def.syntax};
}

bool MibNames::name_of(const MibMatch& m, char* out, std::size_t size)
{
    if (size == 0) return false;
    out[0] = '\0';
    if (m.label == nullptr) return false;
    const char* const parts[] = {m.module, m.module[0] != '\0' ? "::" : "", m.label, m.index[0] != '\0' ? "." : "",
                                 m.index};
    std::size_t used = 0;
    for (const char* part : parts) {
        const std::size_t n = std::strlen(part);
        if (n >= size - used) {
            out[0] = '\0';
            return false;
        }
        std::memcpy(out + used, part, n);
        used += n;
    }
    out[used] = '\0';
    return true;
}

bool MibNames::name(const char* oid, char* out, std::size_t size) const { return name_of(find(oid), out, size); }

bool MibNames::notification_name(const TrapRecord& record, char* out, std::size_t size) const
{
    if (size > 0) out[0] = '\0';
    char oid[kNotificationIdSize];
    char direct[kNotificationIdSize];
    notification_identifier(record, oid, direct);
    if (oid[0] == '\0') return false;
    if (record.generic_trap >= 0 && record.generic_trap <= 5) return name(oid, out, size);
    const MibMatch with_zero = find(oid);
    if (with_zero.kind == MibKind::Notification && with_zero.index[0] == '\0') return name_of(with_zero, out, size);
    const MibMatch m = find(direct);
    return name_of(m.kind == MibKind::Notification && m.index[0] == '\0' ? m : with_zero, out, size);
}

std::size_t MibNames::module_count() const { return tree_ == nullptr ? 0 : tree_->modules; }

std::unique_ptr<MibNames> load_mib_names(const char* dirs, std::vector<MibProblem>& problems)
{
    std::string list = dirs != nullptr && dirs[0] != '\0' ? dirs : default_mib_folders();
    std::vector<std::pair<std::string, std::string>> files;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(';', start);
        if (end == std::string::npos) end = list.size();
        const std::string folder = list.substr(start, end - start);
        start = end + 1;
        if (folder.empty()) continue;
        for (const std::string& path : files_in_folder(folder.c_str())) {
            std::string text;
            if (read_whole_file(path, kMostFileBytes, text)) files.emplace_back(path, std::move(text));
            else problems.push_back({path, 0, text.size() > 0 ? kTooLarge : kUnreadableFile});
        }
    }
    return load_mib_texts(files, problems);
}

std::unique_ptr<MibNames> load_mib_texts(const std::vector<std::pair<std::string, std::string>>& files,
                                         std::vector<MibProblem>& problems)
{
    Builder builder(problems);
    return load_into(with_builtins(builder), files);
}

// A file's name and the module's text quoted in `why` hold what the file's
// writer chose: a control character shows as "\x0A", so that no part of
// them breaks the line.
std::string mib_problem_text(const MibProblem& p)
{
    const std::string line = p.line > 0 ? " (" + std::to_string(p.line) + "行目)" : "";
    std::string text;
    for (const char c : "MIBモジュールを読めません: " + p.file + line + ": " + p.why) {
        const auto octet = static_cast<unsigned char>(c);
        char escaped[8] = {c, '\0'};
        if (octet < 0x20 || octet == 0x7F) std::snprintf(escaped, sizeof escaped, "\\x%02X", octet);
        text += escaped;
    }
    return text;
}

const char* mib_enum_label(const MibSyntax* syntax, std::int64_t value)
{
    if (syntax == nullptr || syntax->bits) return nullptr;
    for (std::size_t i = 0; i < syntax->item_count; ++i)
        if (syntax->items[i].value == value) return syntax->items[i].label;
    return nullptr;
}
