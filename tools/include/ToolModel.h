// What every subcommand shares: the exit statuses, unbuffered byte-exact
// writing to the standard streams, the argument list of a subcommand, and
// loading a model with its messages shown on standard error.
#pragma once

#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "P3dmodell.h"
#include "ProgramExit.h"

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

// A subcommand's arguments split into its options (each "--name" as given)
// and its operands; "--" ends the options.
struct TArgs {
    std::vector<std::string> Options;
    std::vector<std::string> Operands;
    std::vector<std::string> All;  // every argument in order, for options that take a value
};
TArgs SplitArgs(std::span<char* const> args);

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

// Every "*.p3d" file (any case) under folder, sorted, for the subcommands'
// -r; folders that cannot be entered are passed over. False, after
// "cannot list FOLDER: reason" on standard error, when the walk fails.
bool ModelFilesUnder(const std::string& folder, std::vector<std::filesystem::path>& files);

}  // namespace p3dtool
