// Arbitrary bytes as one MIB file read after the built-in modules: whatever
// loads is then asked for names, enumerations and notification names. A
// fault the reader reports is fine; a crash, a leak or undefined behaviour
// is not.
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "common/mib_names.h"
#include "common/trap_record.h"

namespace {

// Identifiers from the built-in modules, the test enterprise the corpus uses,
// the roots, and texts that are no identifiers at all.
const char* const kIdentifiers[] = {
    "1.3.6.1.2.1.2.2.1.8.3", "1.3.6.1.6.3.1.1.5.3", "1.3.6.1.4.1.99999.1.1.1.4.7", "1.3.6.1.4.1.99999.3.0.1",
    "1.3.6.1.4.1.99999", "0.0", "0", "1", "2.999", "", "1.", ".1.3", "1..3", "1.3.6.1.4.1.4294967295.4294967296",
    "1.3.6.1.-1", "iso.3", "1.3.6.1.2.1.1.3.0 ",
};

void ask(const MibNames& names, const char* oid)
{
    char out[256];
    names.name(oid, out, sizeof out);
    names.name(oid, out, 8);  // too small for most names
    const MibMatch match = names.find(oid);
    if (match.syntax != nullptr) {
        for (std::size_t i = 0; i < match.syntax->item_count; ++i)
            mib_enum_label(match.syntax, match.syntax->items[i].value);
        mib_enum_label(match.syntax, -1);
    }
}

void ask_notification(const MibNames& names, const char* enterprise, int generic, std::uint32_t specific)
{
    static TrapRecord record;
    std::strncpy(record.enterprise, enterprise, sizeof record.enterprise - 1);
    record.generic_trap = generic;
    record.specific_trap = specific;
    char out[256];
    names.notification_name(record, out, sizeof out);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::pair<std::string, std::string>> files;
    files.emplace_back("fuzz.txt", std::string(reinterpret_cast<const char*>(data), size));
    std::vector<MibProblem> problems;
    const std::unique_ptr<MibNames> names = load_mib_texts(files, problems);
    for (const MibProblem& p : problems) mib_problem_text(p);
    if (!names) return 0;
    for (const char* oid : kIdentifiers) ask(*names, oid);
    std::string long_oid = "1.3.6.1.4.1.99999";
    for (int i = 0; i < 130; ++i) long_oid += ".4294967295";
    ask(*names, long_oid.c_str());
    ask_notification(*names, "1.3.6.1.4.1.99999.3", 6, 1);
    ask_notification(*names, "1.3.6.1.4.1.99999.2", 6, 2);
    ask_notification(*names, "1.3.6.1.4.1.99999", 3, 0);
    names->module_count();
    return 0;
}
