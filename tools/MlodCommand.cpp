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
    std::error_code ec;
    if (!fs::is_directory(inDir, ec)) return UsageError(kMlodCommand, inDir + " is not a folder");

    std::vector<fs::path> files;
    if (!ModelFilesUnder(inDir, files)) return kExitFailure;

    std::size_t converted = 0, skipped = 0;
    std::vector<std::pair<std::string, std::string>> failed;
    const std::size_t total = files.size();
    for (std::size_t k = 0; k < total; ++k) {
        const fs::path& file = files[k];
        const fs::path relative = file.lexically_relative(inDir);
        const fs::path target = fs::path(outDir) / relative;
        std::string line = "[" + std::to_string(k + 1) + "/" + std::to_string(total) + "] " + relative.string() + ": ";
        switch (ReadMagic(file)) {
        case Magic::Editable:
            ++skipped;
            line += "skipped, already editable";
            break;
        case Magic::Unreadable:
            failed.emplace_back(relative.string(), "cannot be opened");
            line += "failed, cannot be opened";
            break;
        case Magic::Other:
            failed.emplace_back(relative.string(), "not a binarized model (no \"BMDL\" magic)");
            line += "failed, not a binarized model";
            break;
        case Magic::Binarized: {
            std::error_code dirEc;
            fs::create_directories(target.parent_path(), dirEc);
            if (dirEc) {
                failed.emplace_back(relative.string(),
                                    "cannot create folder " + target.parent_path().string() + ": " + dirEc.message());
                line += "failed";
                break;
            }
            const TConversion c = Convert(file.string(), target.string(), false);
            if (c.status == kExitComplete) {
                ++converted;
                line += "converted";
                if (!c.messages.empty()) line += " (" + Joined(c.messages) + ")";
            } else {
                failed.emplace_back(relative.string(), c.reason);
                line += "failed, " + c.reason;
            }
            break;
        }
        }
        WriteOut(line + "\n");
        std::fflush(stdout);
    }

    std::string summary = "\n" + std::to_string(converted) + " converted, " + std::to_string(skipped) +
                          " skipped as already editable, " + std::to_string(failed.size()) + " failed\n";
    for (const auto& [name, reason] : failed) summary += "  " + name + ": " + reason + "\n";
    WriteOut(summary);
    if (!FinishOut()) {
        ReportError("cannot write to standard output");
        return kExitFailure;
    }
    return failed.empty() ? kExitComplete : kExitIncomplete;
}

int RunMlod(const TArgs& args) {
    bool recursive = false;
    for (const std::string& option : args.Options) {
        if (option == "--recursive" || option == "-r")
            recursive = true;
        else
            return UsageError(kMlodCommand, "unknown option " + option);
    }
    if (args.Operands.size() != 2) return UsageError(kMlodCommand, "expects IN and OUT");
    const std::string& in = args.Operands[0];
    const std::string& out = args.Operands[1];
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
    "file never stops the run; the exit status is 1 when any file failed.\n",
    RunMlod,
};

}  // namespace p3dtool
