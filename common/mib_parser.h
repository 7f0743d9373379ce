// Reads the text of MIB modules (SMIv1 and SMIv2) into what each defines,
// before any name is resolved: the module's IMPORTS, its OBJECT IDENTIFIER
// values (from OBJECT IDENTIFIER assignments and the MODULE-IDENTITY,
// OBJECT-IDENTITY, OBJECT-TYPE, NOTIFICATION-TYPE, TRAP-TYPE, OBJECT-GROUP,
// NOTIFICATION-GROUP, MODULE-COMPLIANCE and AGENT-CAPABILITIES macros), and
// its type assignments (TEXTUAL-CONVENTIONs among them).
//
// Comments run from "--" to the end of the line. A macro definition
// (X MACRO ::= BEGIN ... END) and a value defined by a macro the reader does
// not know are skipped whole; one whose macro the module neither defines nor
// imports is noted as a fault, and reading goes on after it. At the first text it cannot read the module
// keeps what it read before, and `fault_line`/`why` say where and why; the
// file's later modules are not read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/mib_names.h"

struct MibItemText {
    std::int64_t value;
    std::string label;
};

// A SYNTAX, or the right side of a type assignment.
struct MibTypeText {
    std::string name;  // "INTEGER", "OCTET STRING", "BITS", "SEQUENCE", or a type's name
    std::vector<MibItemText> items;
    bool convention = false;  // a TEXTUAL-CONVENTION
    std::string hint;         // its DISPLAY-HINT
};

struct MibArcText {
    std::uint32_t number;
    std::string label;  // for the "name(number)" form, else empty
};

struct MibValueText {
    std::string label;
    int line = 0;
    MibKind kind = MibKind::Node;
    std::string parent;  // the value's first name; empty when it begins with a number
    std::vector<MibArcText> arcs;
    bool has_syntax = false;
    MibTypeText syntax;
};

struct MibTypeAssignment {
    std::string name;
    int line = 0;
    MibTypeText type;
};

struct MibImport {
    std::string symbol;
    std::string module;
    int line = 0;
};

struct MibModuleText {
    std::string name;
    std::string file;
    int line = 0;
    std::vector<MibImport> imports;
    std::vector<MibValueText> values;
    std::vector<MibTypeAssignment> types;
    int fault_line = 0;  // 0: read whole
    std::string why;
    // Values skipped because their macro is neither known, nor defined in
    // the module, nor imported: the line of the first, and its macro.
    int unknown_macro_line = 0;
    std::string unknown_macro;
};

// The modules of one file, in their order. A file with no module gives one
// module with no name and the fault.
std::vector<MibModuleText> parse_mib_text(const std::string& file, const std::string& text);
