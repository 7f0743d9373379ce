#include "common/mib_parser.h"

#include <cstring>
#include <string_view>

namespace {

const char kEndsEarly[] = "モジュールの途中で終わっています";
const char kUnreadable[] = "解釈できない記述です: ";
const char kOpenString[] = "文字列が閉じていません";
const char kNoModule[] = "MIBモジュールがありません";
const char kBadNumber[] = "番号が範囲外です: ";

enum class Kind { End, Word, Number, String, Symbol };

struct Token {
    Kind kind;
    std::string_view text;
    int line;
};

bool is_word_start(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_word_char(char c) { return is_word_start(c) || (c >= '0' && c <= '9') || c == '-' || c == '_'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The whole text as tokens, ending in one End token. An unclosed string
// ends the list early with `open_string_line` set.
std::vector<Token> tokenize(std::string_view s, int& open_string_line)
{
    std::vector<Token> tokens;
    tokens.reserve(s.size() / 6);
    int line = 1;
    std::size_t i = 0;
    const std::size_t n = s.size();
    while (i < n) {
        const char c = s[i];
        if (c == '\n') {
            ++line;
            ++i;
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
            ++i;
        } else if (c == '-' && i + 1 < n && s[i + 1] == '-') {
            while (i < n && s[i] != '\n') ++i;  // to the end of the line
        } else if (c == '"') {
            const int start_line = line;
            const std::size_t start = ++i;
            while (i < n && s[i] != '"') line += s[i++] == '\n';
            if (i == n) {
                open_string_line = start_line;
                break;
            }
            tokens.push_back({Kind::String, s.substr(start, i - start), start_line});
            ++i;
        } else if (c == '\'') {  // 'FF'H, '0101'B
            const std::size_t start = i++;
            while (i < n && s[i] != '\'' && s[i] != '\n') ++i;
            if (i < n && s[i] == '\'') ++i;
            if (i < n && is_word_start(s[i])) ++i;
            tokens.push_back({Kind::Number, s.substr(start, i - start), line});
        } else if (is_word_start(c)) {
            const std::size_t start = i;
            while (i < n && is_word_char(s[i]) && !(s[i] == '-' && i + 1 < n && s[i + 1] == '-')) ++i;
            if (s[i - 1] == '-') --i;  // a word never ends in a hyphen
            tokens.push_back({Kind::Word, s.substr(start, i - start), line});
        } else if (is_digit(c) || (c == '-' && i + 1 < n && is_digit(s[i + 1]))) {
            const std::size_t start = i++;
            while (i < n && is_digit(s[i])) ++i;
            tokens.push_back({Kind::Number, s.substr(start, i - start), line});
        } else if (s.compare(i, 3, "::=") == 0) {
            tokens.push_back({Kind::Symbol, s.substr(i, 3), line});
            i += 3;
        } else if (s.compare(i, 2, "..") == 0) {
            tokens.push_back({Kind::Symbol, s.substr(i, 2), line});
            i += 2;
        } else {
            tokens.push_back({Kind::Symbol, s.substr(i, 1), line});
            ++i;
        }
    }
    tokens.push_back({Kind::End, std::string_view(), line});
    return tokens;
}

// Thrown at the first text a module cannot be read past.
struct Fault {
    int line;
    std::string why;
};

bool parse_unsigned(std::string_view t, std::uint64_t most, std::uint64_t& out)
{
    if (t.empty() || t.size() > 20) return false;
    std::uint64_t v = 0;
    for (const char c : t) {
        if (!is_digit(c)) return false;
        const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (v > (most - digit) / 10) return false;
        v = v * 10 + digit;
    }
    out = v;
    return true;
}

class Parser {
public:
    Parser(const std::vector<Token>& tokens) : t_(tokens) {}

    bool at_end() const { return t_[pos_].kind == Kind::End; }
    int line() const { return t_[pos_].line; }

    // One module from its name to its END; the module gets what was read
    // before a fault.
    void module(MibModuleText& m)
    {
        own_macros_.clear();
        m.line = line();
        m.name = std::string(word());
        if (is("{")) skip_group();
        expect_word("DEFINITIONS");
        while (!is("::=")) advance();  // tagging defaults
        advance();
        expect_word("BEGIN");
        while (!is_word("END")) {
            if (is_word("EXPORTS")) skip_past(";");
            else if (is_word("IMPORTS")) imports(m);
            else assignment(m);
        }
        advance();
    }

private:
    const Token& peek(std::size_t ahead = 0) const
    {
        const std::size_t i = pos_ + ahead;
        return i < t_.size() ? t_[i] : t_.back();
    }
    const Token& advance()
    {
        const Token& token = t_[pos_];
        if (token.kind == Kind::End) throw Fault{token.line, kEndsEarly};
        ++pos_;
        return token;
    }
    bool is(const char* symbol, std::size_t ahead = 0) const
    {
        const Token& token = peek(ahead);
        return token.kind == Kind::Symbol && token.text == symbol;
    }
    bool is_word(const char* w, std::size_t ahead = 0) const
    {
        const Token& token = peek(ahead);
        return token.kind == Kind::Word && token.text == w;
    }
    [[noreturn]] void unreadable() const
    {
        const Token& token = peek();
        if (token.kind == Kind::End) throw Fault{token.line, kEndsEarly};
        throw Fault{token.line, kUnreadable + std::string(token.text.substr(0, 64))};
    }
    std::string_view word()
    {
        if (peek().kind != Kind::Word) unreadable();
        return advance().text;
    }
    void expect_word(const char* w)
    {
        if (!is_word(w)) unreadable();
        advance();
    }
    void expect(const char* symbol)
    {
        if (!is(symbol)) unreadable();
        advance();
    }
    void skip_past(const char* symbol)
    {
        while (!is(symbol)) advance();
        advance();
    }
    // A balanced group from its opening bracket, "{...}", "(...)" or "[...]".
    void skip_group()
    {
        int depth = 0;
        do {
            const Token& token = advance();
            if (token.kind != Kind::Symbol) continue;
            if (token.text == "{" || token.text == "(" || token.text == "[") ++depth;
            else if (token.text == "}" || token.text == ")" || token.text == "]") --depth;
        } while (depth > 0);
    }
    bool at_group() const { return is("{") || is("(") || is("["); }

    void imports(MibModuleText& m)
    {
        advance();
        std::vector<std::pair<std::string, int>> symbols;
        while (!is(";")) {
            if (is(",")) {
                advance();
            } else if (is_word("FROM")) {
                advance();
                const int from_line = line();
                const std::string module(word());
                if (is("{")) skip_group();  // a module's identifier after its name
                for (auto& symbol : symbols) m.imports.push_back({std::move(symbol.first), module, from_line});
                symbols.clear();
            } else {
                const int symbol_line = line();
                symbols.emplace_back(std::string(word()), symbol_line);
                if (is("{") && is("}", 1)) pos_ += 2;  // "OBJECT-TYPE{}" as some write it
            }
        }
        advance();
        if (!symbols.empty()) throw Fault{symbols.front().second, kUnreadable + std::string("FROM")};
    }

    void assignment(MibModuleText& m)
    {
        const int at = line();
        const std::string name(word());
        if (is("::=")) {
            advance();
            MibTypeAssignment type{name, at, {}};
            type_text(type.type);
            m.types.push_back(std::move(type));
        } else if (is_word("MACRO")) {
            while (!is_word("END")) advance();
            advance();
            own_macros_.push_back(name);
        } else {
            value_assignment(m, name, at);
        }
    }

    // A type: a tag and IMPLICIT aside, a TEXTUAL-CONVENTION, a base type or
    // a type's name, with its enumeration and constraints.
    void type_text(MibTypeText& type)
    {
        if (++type_depth_ > kMostTypeDepth) unreadable();
        struct Leave {
            int& depth;
            ~Leave() { --depth; }
        } leave{type_depth_};
        if (is("[")) skip_group();
        if (is_word("IMPLICIT") || is_word("EXPLICIT")) advance();
        if (is_word("TEXTUAL-CONVENTION")) return convention(type);
        const std::string_view first = word();
        type.name = std::string(first);
        if ((first == "OCTET" || first == "BIT") && is_word("STRING")) type.name += " " + std::string(advance().text);
        else if (first == "OBJECT" && is_word("IDENTIFIER")) type.name += " " + std::string(advance().text);
        else if ((first == "SEQUENCE" || first == "SET") && is_word("OF")) {
            advance();
            word();
            return;
        } else if (first == "SEQUENCE" || first == "SET" || first == "CHOICE") {
            if (is("{")) skip_group();
            return;
        }
        if (is("{")) items(type.items);
        while (is("(")) skip_group();
    }

    void convention(MibTypeText& type)
    {
        advance();
        while (!is_word("SYNTAX")) {
            if (is_word("DISPLAY-HINT") && peek(1).kind == Kind::String) {
                advance();
                type.hint = std::string(advance().text);
            } else if (at_group()) {
                skip_group();
            } else {
                if (is("::=") || is_word("END")) unreadable();
                advance();
            }
        }
        advance();
        type_text(type);
        type.convention = true;
    }

    // "{ label(number), ... }" of an INTEGER or BITS.
    void items(std::vector<MibItemText>& out)
    {
        advance();
        while (!is("}")) {
            if (is(",")) {
                advance();
                continue;
            }
            const std::string label(word());
            expect("(");
            const Token& number = advance();
            std::int64_t value = 0;
            if (!signed_number(number, value)) throw Fault{number.line, kBadNumber + std::string(number.text)};
            expect(")");
            out.push_back({value, label});
        }
        advance();
    }

    static bool signed_number(const Token& token, std::int64_t& value)
    {
        if (token.kind != Kind::Number) return false;
        std::string_view t = token.text;
        const bool negative = !t.empty() && t[0] == '-';
        if (negative) t.remove_prefix(1);
        std::uint64_t magnitude = 0;
        if (!parse_unsigned(t, negative ? 9223372036854775808ull : 9223372036854775807ull, magnitude)) return false;
        value = negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
        return true;
    }

    static MibKind macro_kind(std::string_view macro, bool& known)
    {
        static const char* const kNodes[] = {"MODULE-IDENTITY", "OBJECT-IDENTITY", "OBJECT-GROUP",
                                             "NOTIFICATION-GROUP", "MODULE-COMPLIANCE", "AGENT-CAPABILITIES"};
        known = true;
        if (macro == "OBJECT-TYPE") return MibKind::Object;
        if (macro == "NOTIFICATION-TYPE" || macro == "TRAP-TYPE") return MibKind::Notification;
        for (const char* node : kNodes)
            if (macro == node) return MibKind::Node;
        known = false;
        return MibKind::Node;
    }

    // "name MACRO clauses ::= value", or "name OBJECT IDENTIFIER ::= value".
    void value_assignment(MibModuleText& m, const std::string& name, int at)
    {
        MibValueText v;
        v.label = name;
        v.line = at;
        bool known = true;
        const std::string_view macro = word();
        if (macro == "OBJECT" && is_word("IDENTIFIER")) advance();
        else v.kind = macro_kind(macro, known);
        const bool trap_type = macro == "TRAP-TYPE";
        MibValueText enterprise;  // a name, or a value in braces
        while (!is("::=")) {
            if (is_word("END")) unreadable();  // no macro's clauses hold the word
            if (is_word("SYNTAX") && !v.has_syntax) {
                advance();
                type_text(v.syntax);
                v.has_syntax = true;
            } else if (trap_type && is_word("ENTERPRISE") && (peek(1).kind == Kind::Word || is("{", 1))) {
                advance();
                enterprise.line = at;
                if (is("{")) oid_value(enterprise);
                else enterprise.parent = std::string(advance().text);
            } else if (at_group()) {
                skip_group();
            } else {
                advance();
            }
        }
        advance();
        if (trap_type) {
            const Token& number = advance();
            std::uint64_t specific = 0;
            if (number.kind != Kind::Number || !parse_unsigned(number.text, 0xFFFFFFFFull, specific))
                throw Fault{number.line, kBadNumber + std::string(number.text)};
            if (enterprise.line == 0) throw Fault{at, kUnreadable + std::string("ENTERPRISE")};
            v.parent = std::move(enterprise.parent);
            v.arcs = std::move(enterprise.arcs);
            v.arcs.push_back({0, ""});
            v.arcs.push_back({static_cast<std::uint32_t>(specific), ""});
        } else if (is("{")) {
            oid_value(v);
        } else {
            advance();  // a value of another type ("x INTEGER ::= 5")
            return;
        }
        if (known) m.values.push_back(std::move(v));
        else if (m.unknown_macro_line == 0 && !defined_or_imported(m, macro)) {
            m.unknown_macro_line = at;
            m.unknown_macro = std::string(macro);
        }
    }

    bool defined_or_imported(const MibModuleText& m, std::string_view macro) const
    {
        for (const std::string& own : own_macros_)
            if (own == macro) return true;
        for (const MibImport& import : m.imports)
            if (import.symbol == macro) return true;
        return false;
    }

    // "{ parent arc ... }", where an arc is a number or "name(number)".
    void oid_value(MibValueText& v)
    {
        advance();
        bool first = true;
        while (!is("}")) {
            const Token& token = advance();
            std::uint64_t number = 0;
            if (token.kind == Kind::Number) {
                if (!parse_unsigned(token.text, 0xFFFFFFFFull, number))
                    throw Fault{token.line, kBadNumber + std::string(token.text)};
                v.arcs.push_back({static_cast<std::uint32_t>(number), ""});
            } else if (token.kind == Kind::Word && is("(")) {
                advance();
                const Token& inner = advance();
                if (inner.kind != Kind::Number || !parse_unsigned(inner.text, 0xFFFFFFFFull, number))
                    throw Fault{inner.line, kBadNumber + std::string(inner.text)};
                expect(")");
                v.arcs.push_back({static_cast<std::uint32_t>(number), std::string(token.text)});
            } else if (token.kind == Kind::Word && first) {
                v.parent = std::string(token.text);
            } else {
                --pos_;
                unreadable();
            }
            first = false;
        }
        advance();
        if (v.parent.empty() && v.arcs.empty()) throw Fault{v.line, kUnreadable + std::string("{ }")};
    }

    // A TEXTUAL-CONVENTION's SYNTAX is read by the same function; no real
    // module nests conventions, so a deep nest is a fault, not a stack overflow.
    static constexpr int kMostTypeDepth = 8;

    const std::vector<Token>& t_;
    std::size_t pos_ = 0;
    int type_depth_ = 0;
    std::vector<std::string> own_macros_;  // MACRO definitions of the module being read
};

} // namespace

std::vector<MibModuleText> parse_mib_text(const std::string& file, const std::string& text)
{
    int open_string_line = 0;
    const std::vector<Token> tokens = tokenize(text, open_string_line);
    std::vector<MibModuleText> modules;
    Parser parser(tokens);
    while (!parser.at_end()) {
        MibModuleText m;
        m.file = file;
        try {
            parser.module(m);
        } catch (const Fault& fault) {
            m.fault_line = fault.line;
            m.why = fault.why;
            // A string left open cuts the tokens short: that is the fault.
            if (open_string_line != 0 && fault.why == kEndsEarly) {
                m.fault_line = open_string_line;
                m.why = kOpenString;
            }
        }
        const bool stop = m.fault_line != 0;
        if (!m.name.empty() || stop) modules.push_back(std::move(m));
        if (stop) break;
    }
    if (modules.empty()) {
        MibModuleText none;
        none.file = file;
        none.fault_line = open_string_line != 0 ? open_string_line : 1;
        none.why = open_string_line != 0 ? kOpenString : kNoModule;
        modules.push_back(std::move(none));
    }
    return modules;
}
