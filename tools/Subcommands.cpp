#include "Subcommands.h"

#include "TreeWalk.h"

#include <cstdio>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

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

int RunOverTree(
    const TSubcommand& command, const std::string& inDir, const std::string& outDir, const std::string& extension,
    const std::function<TTreeItem(const std::filesystem::path& file, const std::filesystem::path& target)>& each,
    const std::function<std::string(std::size_t done, std::size_t skipped, std::size_t failed)>& summary,
    const std::vector<std::string>& extensions) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_directory(inDir, ec)) return UsageError(command, inDir + " is not a folder");
    const TModelTree tree = WalkModelTree(inDir, extensions);
    if (!tree.RootError.empty()) {
        ReportError("cannot list " + inDir + ": " + tree.RootError);
        return kExitFailure;
    }
    const std::vector<fs::path>& files = tree.Files;

    std::size_t done = 0, skipped = 0;
    std::vector<std::pair<std::string, std::string>> failed;
    // what the walk could not go through: named first, each a failure
    std::string problems;
    for (const auto& [kind, list] :
         {std::pair{"unreadable folder", &tree.Unreadable}, std::pair{"broken link", &tree.BrokenLinks}})
        for (const TTreeProblem& p : *list) {
            problems += std::string(kind) + ": " + p.Path + ": " + p.Reason + "\n";
            failed.emplace_back(p.Path, std::string(kind) + ": " + p.Reason);
        }
    WriteOut(problems);
    for (std::size_t k = 0; k < files.size(); ++k) {
        const fs::path relative = files[k].lexically_relative(inDir);
        fs::path target = fs::path(outDir) / relative;
        if (!extension.empty()) target.replace_extension("." + extension);
        const TTreeItem item = each(files[k], target);
        switch (item.Kind) {
        case TTreeItem::TKind::Done: ++done; break;
        case TTreeItem::TKind::Skipped: ++skipped; break;
        case TTreeItem::TKind::Failed: failed.emplace_back(relative.string(), item.Reason); break;
        }
        WriteOut("[" + std::to_string(k + 1) + "/" + std::to_string(files.size()) + "] " + relative.string() + ": " +
                 item.Note + "\n");
        std::fflush(stdout);
    }
    std::string text = "\n" + summary(done, skipped, failed.size()) + "\n";
    for (const auto& [name, reason] : failed) text += "  " + name + ": " + reason + "\n";
    WriteOut(text);
    if (!FinishOut()) {
        ReportError("cannot write to standard output");
        return kExitFailure;
    }
    return failed.empty() ? kExitComplete : kExitIncomplete;
}

bool MakeFolderFor(const std::filesystem::path& target, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(target.parent_path(), ec);
    if (ec) error = "cannot create folder " + target.parent_path().string() + ": " + ec.message();
    return !ec;
}

}  // namespace p3dtool
