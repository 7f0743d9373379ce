#include "service/mib_in_use.h"

#include <cstdio>
#include <new>

#include "service/file_recorders.h"

namespace {

std::shared_ptr<const MibNames> g_names;

} // namespace

std::vector<MibProblem> load_mib_names_in_use(const ServiceSettings& s)
{
    std::vector<MibProblem> problems;
    g_names.reset();
    if (!is_on(s.f_mibnames)) return problems;
    try {
        g_names = load_mib_names(s.mibdirs, problems);
    } catch (const std::bad_alloc&) {
        g_names.reset();  // the reports show numbers only
    }
    return problems;
}

void report_mib_problems(const ServiceSettings& s, const std::vector<MibProblem>& problems, bool console)
{
    for (const MibProblem& problem : problems) {
        const std::string line = mib_problem_text(problem);
        if (console) std::printf("%s\n", line.c_str());
        write_log_line(s.logfile, line.c_str());
    }
    if (console && !problems.empty()) std::printf("\n");
}

const std::shared_ptr<const MibNames>& mib_names_in_use() { return g_names; }
