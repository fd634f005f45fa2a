#include "Subcommands.h"

#include <string>

namespace p3dtool {

int UsageError(const TSubcommand& command, std::string_view text) {
    std::string line(command.Name);
    line += ": ";
    line += text;
    ReportError(line);
    std::string usage = "usage: p3dtool ";
    usage += command.Name;
    usage += ' ';
    usage += command.Synopsis;
    usage += "\n(p3dtool ";
    usage += command.Name;
    usage += " --help explains it)\n";
    WriteErr(usage);
    return kExitFailure;
}

}  // namespace p3dtool
