// mib_dump DIRS: loads the MIB modules of DIRS (';' between, as the setting
// "mibdirs" gives them) with the built-in ones, writes each module that did
// not load whole on standard error as the receiver logs it, then names the
// identifiers read from standard input, one a line. Each gives one line:
//
//   IDENTIFIER <TAB> NAME-or-"-" [<TAB> label(value), label(value), ...]
//
// the last part only where the object's syntax has an enumeration or named
// bits, in the module's order.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "common/mib_names.h"

namespace {

void print_problems(const std::vector<MibProblem>& problems)
{
    for (const MibProblem& p : problems) std::fprintf(stderr, "%s\n", mib_problem_text(p).c_str());
}

void print_items(const MibSyntax& syntax)
{
    for (std::size_t i = 0; i < syntax.item_count; ++i)
        std::printf("%s%s(%lld)", i == 0 ? "\t" : ", ", syntax.items[i].label,
                    static_cast<long long>(syntax.items[i].value));
}

void print_identifier(const MibNames& names, const std::string& oid)
{
    static char name[4096];
    std::printf("%s\t%s", oid.c_str(), names.name(oid.c_str(), name, sizeof name) ? name : "-");
    const MibMatch match = names.find(oid.c_str());
    if (match.label != nullptr && match.syntax != nullptr && match.syntax->item_count > 0)
        print_items(*match.syntax);
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: mib_dump DIRS < identifiers\n");
        return 2;
    }
    std::vector<MibProblem> problems;
    const std::unique_ptr<MibNames> names = load_mib_names(argv[1], problems);
    print_problems(problems);
    std::fflush(stderr);
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        print_identifier(*names, line);
    }
    return 0;
}
