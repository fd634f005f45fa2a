// The subcommands of p3dtool. Each one is described by a TSubcommand; main
// dispatches on the first argument through the table in p3dtool.cpp, so a new
// subcommand is one more descriptor and one more line in that table.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

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
extern const TSubcommand kCheckCommand;
extern const TSubcommand kImportCommand;

// Reports a usage error of a subcommand on standard error; returns
// kExitFailure.
int UsageError(const TSubcommand& command, std::string_view text);

// What one file of a -r run came to: the rest of its progress line, and for
// a failure the reason its summary line gives.
struct TTreeItem {
    enum class TKind { Done, Skipped, Failed };
    TKind Kind = TKind::Done;
    std::string Note;
    std::string Reason;
};

// The -r of a subcommand: each model file (or each file of extensions) under
// inDir (WalkModelTree) is
// handed to each with its target, the same relative path under outDir (with
// the extension given, when one is). First a line per folder the walk could
// not read ("unreadable folder: relative: reason") and per broken link
// ("broken link: relative: reason"), each a failure; then one progress line
// per file ("[k/n] relative: " and its note), a blank line, the counts that
// summary makes of the done, skipped and failed items, and a line per
// failure. Exit status 0 when nothing failed, 1 when something did, 2 when
// inDir is no folder, cannot be listed or the output cannot be written.
int RunOverTree(
    const TSubcommand& command, const std::string& inDir, const std::string& outDir, const std::string& extension,
    const std::function<TTreeItem(const std::filesystem::path& file, const std::filesystem::path& target)>& each,
    const std::function<std::string(std::size_t done, std::size_t skipped, std::size_t failed)>& summary,
    const std::vector<std::string>& extensions = {".p3d"});

// Makes the folder a target goes into; false with the reason in error.
bool MakeFolderFor(const std::filesystem::path& target, std::string& error);

}  // namespace p3dtool
