// What every subcommand shares: the exit statuses, unbuffered byte-exact
// writing to the standard streams, the argument list of a subcommand, and
// loading a model with its messages shown on standard error.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "P3dmodell.h"
#include "ProgramExit.h"

namespace CLI {
class App;
}

namespace p3dtool {

// Exit statuses of every subcommand: the programs', shared with the viewer's
// picture mode.
using vistrel::kExitComplete;
using vistrel::kExitFailure;
using vistrel::kExitIncomplete;

// Writes the bytes as they are (no newline added, no locale involved).
// False when the stream reports an error.
bool WriteOut(std::string_view bytes);
bool WriteErr(std::string_view bytes);
// Flushes standard output; false when anything written to it failed.
bool FinishOut();

// "p3dtool: " + text + newline on standard error.
void ReportError(std::string_view text);

// A subcommand's arguments, in order.
struct TArgs {
    std::vector<std::string> All;
    // Whether --help or -h comes before any "--".
    bool WantsHelp() const;
};

// Reads a subcommand's arguments with CLI11: app holds the subcommand's
// options, the operands go to operands, "--" ends the options, the last of
// an option given twice counts. False with the text of the usage error:
// "unknown option X", "X needs a value".
bool ParseArgs(CLI::App& app, const TArgs& args, std::vector<std::string>& operands, std::string& error);

// The outcome of reading one file.
struct TToolModel {
    std::unique_ptr<vistrel::TP3dModell> Model;  // none when the file could not be read
    std::string Error;                           // then the text of the error
    std::vector<std::string> Messages;           // the reader's messages, in order
    vistrel::TReadResult Failure;                // where and why reading stopped
};

// Reads the file; every message of the reader is written to standard error
// at once (followed by a newline) and kept. onLog receives the debug log.
TToolModel LoadModel(const std::string& path, vistrel::TLogEvent onLog = {});

// kExitComplete, kExitIncomplete or kExitFailure for a loaded file.
int StatusOf(const TToolModel& loaded);

}  // namespace p3dtool
