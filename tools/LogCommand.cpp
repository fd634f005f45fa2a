// p3dtool log: the reader's debug log, one line per call of the log sink, as
// the lines are produced.
#include <string>

#include "Subcommands.h"

#include <CLI/CLI.hpp>

namespace p3dtool {

namespace {

int RunLog(const TArgs& args) {
    CLI::App app;
    std::vector<std::string> operands;
    std::string error;
    if (!ParseArgs(app, args, operands, error)) return UsageError(kLogCommand, error);
    if (operands.size() != 1) return UsageError(kLogCommand, "expects one FILE");
    const std::string& path = operands[0];
    if (path.empty()) return UsageError(kLogCommand, "FILE must not be empty");

    bool written = true;
    const TToolModel loaded =
        LoadModel(path, [&written](const std::string& line) { written = WriteOut(line) && WriteOut("\n") && written; });
    if (!loaded.Model) ReportError(loaded.Error);
    if (!FinishOut() || !written) {
        ReportError("cannot write to standard output");
        return kExitFailure;
    }
    return StatusOf(loaded);
}

}  // namespace

const TSubcommand kLogCommand{
    "log",
    "FILE",
    "the reader's debug log of FILE",
    "Reads FILE and prints every line of the reader's debug log on standard\n"
    "output, one per line, exactly as the reader produces it (bytes of names\n"
    "as stored), starting with \"******OPEN:\" and the path.\n",
    RunLog,
};

}  // namespace p3dtool
