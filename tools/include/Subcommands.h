// The subcommands of p3dtool. Each one is described by a TSubcommand; main
// dispatches on the first argument through the table in p3dtool.cpp, so a new
// subcommand is one more descriptor and one more line in that table.
#pragma once

#include <string_view>

#include "ToolModel.h"

namespace p3dtool {

struct TSubcommand {
    std::string_view Name;      // the first argument that selects it
    std::string_view Synopsis;  // its arguments, e.g. "[--json] FILE"
    std::string_view Summary;   // one line for the overview
    std::string_view Details;   // its own help text (several lines)
    // Runs it with the arguments after its name (options and operands split,
    // --help already handled); returns the exit status.
    int (*Run)(const TArgs& args);
};

extern const TSubcommand kInfoCommand;
extern const TSubcommand kLogCommand;
extern const TSubcommand kMlodCommand;
extern const TSubcommand kTextureCommand;
extern const TSubcommand kExportCommand;

// Reports a usage error of a subcommand on standard error; returns
// kExitFailure.
int UsageError(const TSubcommand& command, std::string_view text);

}  // namespace p3dtool
