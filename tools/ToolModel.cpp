#include "ToolModel.h"

#include <CLI/CLI.hpp>

#include <algorithm>
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

bool TArgs::WantsHelp() const {
    for (const std::string& a : All) {
        if (a == "--") return false;
        if (a == "--help" || a == "-h") return true;
    }
    return false;
}

bool ParseArgs(CLI::App& app, const TArgs& args, std::vector<std::string>& operands, std::string& error) {
    app.set_help_flag();  // the tool answers --help itself
    app.allow_extras();   // told apart below: operands, and options nobody knows
    for (CLI::Option* option : app.get_options()) option->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    // what follows "--" is operands alone
    const auto end = std::find(args.All.begin(), args.All.end(), std::string("--"));
    std::vector<std::string> reversed(std::make_reverse_iterator(end), args.All.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        const std::string what = e.what();
        const std::size_t colon = what.find(':');
        error = colon != std::string::npos && what.compare(0, 1, "-") == 0 ? what.substr(0, colon) + " needs a value"
                                                                           : what;
        return false;
    }
    for (const std::string& a : app.remaining()) {
        if (a.size() > 1 && a[0] == '-') {
            error = "unknown option " + a;
            return false;
        }
        operands.push_back(a);
    }
    if (end != args.All.end()) operands.insert(operands.end(), end + 1, args.All.end());
    return true;
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

int StatusOf(const TToolModel& loaded) {
    if (!loaded.Model) return kExitFailure;
    return loaded.Model->Complete() ? kExitComplete : kExitIncomplete;
}

}  // namespace p3dtool
