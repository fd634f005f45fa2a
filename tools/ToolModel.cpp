#include "ToolModel.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <exception>

namespace p3dtool {

namespace {

bool WriteTo(std::FILE* stream, std::string_view bytes) {
    if (bytes.empty()) return true;
    return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
}

}  // namespace

bool WriteOut(std::string_view bytes) { return WriteTo(stdout, bytes); }

bool WriteErr(std::string_view bytes) { return WriteTo(stderr, bytes); }

bool FinishOut() { return std::fflush(stdout) == 0 && !std::ferror(stdout); }

void ReportError(std::string_view text) {
    std::string line = "p3dtool: ";
    line += text;
    line += '\n';
    WriteErr(line);
}

TArgs SplitArgs(std::span<char* const> args) {
    TArgs result;
    bool optionsEnded = false;
    for (const char* arg : args) {
        const std::string_view a(arg);
        result.All.emplace_back(a);
        if (!optionsEnded && a == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && a.size() > 1 && a[0] == '-') {
            result.Options.emplace_back(a);
        } else {
            result.Operands.emplace_back(a);
        }
    }
    return result;
}

TToolModel LoadModel(const std::string& path, vistrel::TLogEvent onLog) {
    TToolModel loaded;
    // the model keeps its sink, so the sink must not point into loaded
    auto messages = std::make_shared<std::vector<std::string>>();
    vistrel::TMessageEvent onMessage = [messages](const std::string& text) {
        messages->push_back(text);
        std::fflush(stdout);  // keeps the order of log lines and messages on a terminal
        WriteErr(text);
        WriteErr("\n");
        std::fflush(stderr);
    };
    try {
        loaded.Model = std::make_unique<vistrel::TP3dModell>(path, std::move(onLog), std::move(onMessage));
        loaded.Failure = loaded.Model->Failure();
    } catch (const vistrel::EReadError& e) {
        loaded.Model.reset();
        loaded.Error = e.what();
        if (!e.Cause.empty()) loaded.Failure = {vistrel::TReadStatus::ShortRead, e.Offset, e.Cause};
    } catch (const std::exception& e) {
        loaded.Model.reset();
        loaded.Error = e.what();
    }
    loaded.Messages = *messages;
    return loaded;
}

bool ModelFilesUnder(const std::string& folder, std::vector<std::filesystem::path>& files) {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::string ext = it->path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        std::error_code fileEc;
        if (ext == ".p3d" && it->is_regular_file(fileEc)) files.push_back(it->path());
    }
    if (ec) {
        ReportError("cannot list " + folder + ": " + ec.message());
        return false;
    }
    std::sort(files.begin(), files.end());
    return true;
}

int StatusOf(const TToolModel& loaded) {
    if (!loaded.Model) return kExitFailure;
    return loaded.Model->Complete() ? kExitComplete : kExitIncomplete;
}

}  // namespace p3dtool
