// Names from MIB modules: the identifiers, enumerations and display hints of
// SMIv1 and SMIv2 modules (RFC 1155/1212/1215, RFC 2578/2579/2580).
//
// load_mib_names() reads the built-in modules (the SMI base modules and the
// few objects nearly every notification carries), then every file in the
// folders of `dirs` (';' between; an empty text means the platform's
// default folders, see platform/folders.h). A file may hold several modules.
// A module read from a file replaces a built-in module of the same name; of
// two files with the same module the first is kept (folders in the order
// given, files in name order). IMPORTS are followed across modules. What a
// module defines before a fault, and what does not depend on a missing
// module, is kept; each module with a fault gives one MibProblem (the first
// fault: file, line, why), the other modules load as if it were not there.
//
// A MibNames is built once and then only read: share it between threads
// read-only. Lookups allocate nothing and never fail on any text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/trap_record.h"

// One named number of an enumeration (INTEGER) or one named bit (BITS).
struct MibEnumItem {
    std::int64_t value;
    const char* label;
};

// What an object's SYNTAX says once its textual conventions are followed:
// the enumeration of the innermost type that has one, the DISPLAY-HINT of
// the nearest convention that gives one, and the name of the convention the
// SYNTAX names ("DateAndTime", "InetAddress"; "" for a base type).
struct MibSyntax {
    const MibEnumItem* items;
    std::size_t item_count;
    bool bits;                 // the items name bits of a BITS value
    const char* display_hint;  // "" when none
    const char* convention;    // "" when none
};

enum class MibKind : std::uint8_t { Node, Object, Notification };

// The longest known prefix of an identifier.
struct MibMatch {
    const char* module;   // "" for the roots ccitt, iso and joint-iso-ccitt
    const char* label;    // null when no prefix is known
    const char* index;    // the identifier's text after the prefix and its dot; "" for the node itself
    MibKind kind;
    const MibSyntax* syntax;  // objects only; null for every other kind
};

// A module that did not load whole: its file, the line of the fault, and why (CP932).
struct MibProblem {
    std::string file;
    int line;
    std::string why;
};

class MibNames {
public:
    struct Tree;
    explicit MibNames(std::unique_ptr<Tree> tree);
    ~MibNames();
    MibNames(const MibNames&) = delete;
    MibNames& operator=(const MibNames&) = delete;

    // `oid` is dotted decimal text as the record holds it ("1.3.6.1.2.1.1.3.0");
    // text that is not an identifier gives no label.
    MibMatch find(const char* oid) const;

    // "MODULE::label.index" ("label.index" under a bare root), NUL-terminated
    // into out[0 .. size); false and "" when no prefix is known or it does not fit.
    bool name(const char* oid, char* out, std::size_t size) const;
    // The same for what find() gave, while the identifier it was given lives.
    static bool name_of(const MibMatch& match, char* out, std::size_t size);

    // The notification a record carries, named as name() names it: a generic
    // trap 0..5 is snmpTraps.(generic + 1); an enterprise-specific one is
    // enterprise.0.specific (RFC 3584 3.1), or enterprise.specific where only
    // that one is a known notification. False when the enterprise is cut.
    bool notification_name(const TrapRecord& record, char* out, std::size_t size) const;

    // Modules loaded, built-in ones among them.
    std::size_t module_count() const;

private:
    std::unique_ptr<Tree> tree_;
};

std::unique_ptr<MibNames> load_mib_names(const char* dirs, std::vector<MibProblem>& problems);

// The same from texts in memory, each a file name and its text, read after
// the built-in modules as if they were files in that order.
std::unique_ptr<MibNames> load_mib_texts(const std::vector<std::pair<std::string, std::string>>& files,
                                         std::vector<MibProblem>& problems);

// The log line for a problem (CP932, no line end):
// "MIBモジュールを読めません: FILE (LINE行目): WHY".
std::string mib_problem_text(const MibProblem& problem);

// The label of `value` in the syntax's enumeration; null when it has none.
const char* mib_enum_label(const MibSyntax* syntax, std::int64_t value);
