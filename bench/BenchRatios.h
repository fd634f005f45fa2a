// What the benchmarks that compare two figures share: a folder of their own
// that goes with the process, and a reporter that keeps each benchmark's
// wall-clock time per iteration and prints the ratio of two against a goal.
#pragma once

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <vector>

extern char** environ;

namespace vistrel::bench {

// Runs a program (looked up on PATH) to its end, its output to /dev/null;
// its exit status, -1 when it did not run or end normally. With peakMiB,
// the peak resident size of the process in MiB.
inline int RunQuietly(std::vector<std::string> arguments, double* peakMiB = nullptr) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status)) return -1;
    if (peakMiB) *peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return WEXITSTATUS(status);
}

// /tmp/PREFIX_PID, made at once, removed with all it holds.
struct TScratchFolder {
    std::filesystem::path dir;
    explicit TScratchFolder(const std::string& prefix)
        : dir(std::filesystem::temp_directory_path() / (prefix + "_" + std::to_string(getpid()))) {
        std::filesystem::create_directories(dir);
    }
    ~TScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    TScratchFolder(const TScratchFolder&) = delete;
    TScratchFolder& operator=(const TScratchFolder&) = delete;
};

class TRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (!run.error_occurred && run.iterations > 0)
                seconds_[run.run_name.function_name] = run.real_accumulated_time / static_cast<double>(run.iterations);
        ConsoleReporter::ReportRuns(runs);
    }

    // "what  ratio (goal …: met)" for the time of a over the time of b;
    // "not measured" when either did not run.
    void PrintRatio(const char* what, const std::string& a, const std::string& b, double goal, bool below) const {
        const auto x = seconds_.find(a);
        const auto y = seconds_.find(b);
        if (x == seconds_.end() || y == seconds_.end() || y->second <= 0) {
            std::printf("%-40s not measured\n", what);
            return;
        }
        const double ratio = x->second / y->second;
        const bool met = below ? ratio < goal : ratio <= goal;
        std::printf("%-40s %.2f (goal %s %.1f: %s)\n", what, ratio, below ? "below" : "at most", goal,
                    met ? "met" : "NOT met");
    }

private:
    std::map<std::string, double> seconds_;
};

}  // namespace vistrel::bench
