// Checking a library: every problem of the pair on a line of its own.

#include "wilcheck.h"
#include "wiltool.h"

namespace wiltool {
namespace {

int runCheck(const QStringList &args)
{
    const ParsedArgs p = parseArgs(args, {}, {});
    if (!p.ok)
        return usage("check", p.error);
    if (p.positional.size() != 1)
        return usage("check", QStringLiteral("expected LIB"));
    const CheckReport report = checkLibrary(p.positional[0]);
    for (const CheckFinding &finding : report.findings)
        out(finding.line());
    out(QStringLiteral("%1 images, %2 problems, %3 warnings")
            .arg(report.imageCount)
            .arg(report.errorCount())
            .arg(report.warningCount()));
    return report.clean() ? Ok : Failed;
}

const bool registered = registerCommand({"check", "LIB",
                                         "Reads the library and its index and lists every "
                                         "problem, one line each; exit status 1 when there is "
                                         "one (warnings alone do not count).",
                                         runCheck});

} // namespace
} // namespace wiltool
