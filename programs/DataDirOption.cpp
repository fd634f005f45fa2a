#include "DataDirOption.h"

#include <filesystem>
#include <system_error>

namespace vistrel {

std::string DataDirProblem(const std::string& dir) {
    if (dir.empty()) return {};
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(dir, ec);
    const std::string option = "--data " + dir + ": ";
    if (std::filesystem::is_directory(status)) return {};
    if (status.type() == std::filesystem::file_type::not_found) return option + "no such folder";
    if (ec) return option + ec.message();
    return option + "not a folder";
}

}  // namespace vistrel
