#include "TreeWalk.h"

#include <algorithm>
#include <cctype>
#include <system_error>

namespace fs = std::filesystem;

namespace p3dtool {

namespace {

constexpr int kMaxDepth = 256;  // a mount of a folder inside itself ends here

// Whether the name ends in one of the extensions (given in lower case), its
// letter case ignored.
bool HasExtension(const fs::path& path, const std::vector<std::string>& extensions) {
    std::string ext = path.extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return std::find(extensions.begin(), extensions.end(), ext) != extensions.end();
}

std::string LinkReason(const fs::path& link, const std::error_code& ec) {
    if (ec == std::errc::too_many_symbolic_link_levels) return "links to itself or to a loop";
    if (ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory) {
        std::error_code readEc;
        return "its target does not exist: " + fs::read_symlink(link, readEc).string();
    }
    return ec.message();
}

class TWalk {
public:
    TWalk(const fs::path& tree, const std::vector<std::string>& extensions) : tree_(tree), extensions_(extensions) {}

    TModelTree Run() {
        std::error_code ec;
        fs::directory_iterator it(tree_, ec);
        if (ec) {
            result_.RootError = ec.message();
            return std::move(result_);
        }
        Folder(tree_, std::move(it), 0);
        std::sort(result_.Files.begin(), result_.Files.end());
        const auto byPath = [](const TTreeProblem& a, const TTreeProblem& b) { return a.Path < b.Path; };
        std::sort(result_.Unreadable.begin(), result_.Unreadable.end(), byPath);
        std::sort(result_.BrokenLinks.begin(), result_.BrokenLinks.end(), byPath);
        return std::move(result_);
    }

private:
    void Problem(std::vector<TTreeProblem>& list, const fs::path& path, std::string reason) {
        list.push_back({path.lexically_relative(tree_).string(), std::move(reason)});
    }

    void Folder(const fs::path& dir, fs::directory_iterator it, int depth) {
        std::error_code ec;
        for (; it != fs::directory_iterator(); it.increment(ec)) {
            if (ec) break;
            const fs::path& path = it->path();
            std::error_code kindEc;
            const fs::file_type type = it->symlink_status(kindEc).type();
            if (type == fs::file_type::directory) {
                if (depth + 1 > kMaxDepth) {
                    Problem(result_.Unreadable, path,
                            "more than " + std::to_string(kMaxDepth) + " folders deep, not entered");
                    continue;
                }
                std::error_code openEc;
                fs::directory_iterator inner(path, openEc);
                if (openEc)
                    Problem(result_.Unreadable, path, openEc.message());
                else
                    Folder(path, std::move(inner), depth + 1);
            } else if (type == fs::file_type::regular && HasExtension(path, extensions_)) {
                result_.Files.push_back(path);
            } else if (type == fs::file_type::symlink && HasExtension(path, extensions_)) {
                std::error_code targetEc;
                const fs::file_status target = fs::status(path, targetEc);
                if (targetEc)
                    Problem(result_.BrokenLinks, path, LinkReason(path, targetEc));
                else if (target.type() == fs::file_type::regular)
                    result_.Files.push_back(path);
            }
        }
        if (ec) Problem(result_.Unreadable, dir, ec.message());
    }

    fs::path tree_;
    const std::vector<std::string>& extensions_;
    TModelTree result_;
};

}  // namespace

TModelTree WalkModelTree(const fs::path& tree, const std::vector<std::string>& extensions) {
    return TWalk(tree, extensions).Run();
}

}  // namespace p3dtool
