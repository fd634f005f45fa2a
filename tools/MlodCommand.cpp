// p3dtool mlod: converts binarized models into the editable format, one file
// or a whole folder tree.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <system_error>

#include "Subcommands.h"

#include <CLI/CLI.hpp>

namespace fs = std::filesystem;

namespace p3dtool {
namespace {

enum class Magic { Binarized, Editable, Other, Unreadable };

Magic ReadMagic(const fs::path& path) {
    try {
        switch (vistrel::ModelMagicOf(vistrel::ReadFileMagic(path.string()))) {
        case vistrel::TModelMagic::Binarized: return Magic::Binarized;
        case vistrel::TModelMagic::Editable: return Magic::Editable;
        case vistrel::TModelMagic::Other: break;
        }
        return Magic::Other;
    } catch (const vistrel::EFOpenError&) {
        return Magic::Unreadable;
    } catch (const vistrel::EReadError&) {
        return Magic::Other;  // shorter than a magic
    }
}

// One file read and written; the texts of the reader's and writer's messages
// are collected, and "MLOD saved" is left out of them.
struct TConversion {
    int status = kExitComplete;
    std::string reason;  // why it failed, empty when converted
    std::vector<std::string> messages;
};

std::string Joined(const std::vector<std::string>& messages) {
    std::string text;
    for (const std::string& m : messages) {
        if (!text.empty()) text += "; ";
        for (char c : m) text += c == '\n' ? ' ' : c;
    }
    return text;
}

TConversion Convert(const std::string& in, const std::string& out, bool echoMessages) {
    TConversion result;
    auto messages = std::make_shared<std::vector<std::string>>();
    vistrel::TMessageEvent onMessage = [messages, echoMessages](const std::string& text) {
        if (echoMessages) {
            WriteErr(text);
            WriteErr("\n");
        }
        if (text != "MLOD saved") messages->push_back(text);
    };
    try {
        vistrel::TP3dModell model(in, vistrel::TLogEvent{}, onMessage);
        if (model.FileFormat() == vistrel::TP3dModell::Format::Editable) {
            result.status = kExitIncomplete;
            result.reason = "already in the editable format";
        } else if (!model.Complete()) {
            result.status = kExitIncomplete;
            result.reason = "not read completely, nothing written";
        } else if (!model.WriteMLOD(out)) {
            result.status = kExitIncomplete;
            result.reason = "not saved";
        }
    } catch (const std::exception& e) {
        result.status = kExitFailure;
        result.reason = e.what();
    }
    result.messages = *messages;
    if (!result.reason.empty() && !result.messages.empty()) result.reason += " (" + Joined(result.messages) + ")";
    return result;
}

int RunOne(const std::string& in, const std::string& out) {
    const TConversion c = Convert(in, out, true);
    if (c.status != kExitComplete) ReportError(in + ": " + c.reason);
    return c.status;
}

int RunRecursive(const std::string& inDir, const std::string& outDir) {
    using TKind = TTreeItem::TKind;
    const auto each = [](const fs::path& file, const fs::path& target) -> TTreeItem {
        switch (ReadMagic(file)) {
        case Magic::Editable: return {TKind::Skipped, "skipped, already editable", {}};
        case Magic::Unreadable: return {TKind::Failed, "failed, cannot be opened", "cannot be opened"};
        case Magic::Other:
            return {TKind::Failed, "failed, not a binarized model", "not a binarized model (no \"BMDL\" magic)"};
        case Magic::Binarized: break;
        }
        std::string error;
        if (!MakeFolderFor(target, error)) return {TKind::Failed, "failed", error};
        const TConversion c = Convert(file.string(), target.string(), false);
        if (c.status != kExitComplete) return {TKind::Failed, "failed, " + c.reason, c.reason};
        return {TKind::Done, c.messages.empty() ? "converted" : "converted (" + Joined(c.messages) + ")", {}};
    };
    return RunOverTree(kMlodCommand, inDir, outDir, {}, each,
                       [](std::size_t done, std::size_t skipped, std::size_t failed) {
                           return std::to_string(done) + " converted, " + std::to_string(skipped) +
                                  " skipped as already editable, " + std::to_string(failed) + " failed";
                       });
}

int RunMlod(const TArgs& args) {
    bool recursive = false;
    CLI::App app;
    app.add_flag("-r,--recursive", recursive);
    std::vector<std::string> operands;
    std::string error;
    if (!ParseArgs(app, args, operands, error)) return UsageError(kMlodCommand, error);
    if (operands.size() != 2) return UsageError(kMlodCommand, "expects IN and OUT");
    const std::string& in = operands[0];
    const std::string& out = operands[1];
    if (in.empty() || out.empty()) return UsageError(kMlodCommand, "IN and OUT must not be empty");
    return recursive ? RunRecursive(in, out) : RunOne(in, out);
}

}  // namespace

const TSubcommand kMlodCommand{
    "mlod",
    "[--recursive] IN OUT",
    "converts a binarized model (or a folder tree) to the editable format",
    "Reads the binarized model IN and writes it to OUT in the editable format\n"
    "(\"MLOD\"). OUT is replaced only when the whole file was written. Nothing is\n"
    "written when IN is not read completely or is already editable.\n"
    "\n"
    "With --recursive (-r), IN and OUT are folders: every \"*.p3d\" file under\n"
    "IN (letter case ignored) whose magic is \"BMDL\" is converted to the same\n"
    "relative path under OUT; editable files are skipped. One progress line per\n"
    "file, then a summary: converted, skipped, failed with the reasons. A bad\n"
    "file never stops the run; the exit status is 1 when any file failed.\n"
    "Links to files are followed, links to folders are not; a folder that\n"
    "cannot be read and a \"*.p3d\" link that leads nowhere are named before\n"
    "the progress lines and count as failures.\n",
    RunMlod,
};

}  // namespace p3dtool
