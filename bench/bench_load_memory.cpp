// Peak memory of loading a model: the process's peak resident set
// (getrusage ru_maxrss) over its resident set before the load, against the
// file's size and the heap that the loaded model keeps.
//
//   bench_load_memory [--memory] [FILE]
//
// Without FILE the bench_load model (BenchModels.h, about 50 MB) is written to
// /tmp by a child process, so that building it leaves no trace in this
// process's peak. --memory reads the file into a buffer first and loads it
// from there (the buffer is moved into the model); by default the model
// opens the file itself.
//
// The target: peak - before <= 3 x file size + the model's heap.
// Exit status 1 when the target is missed.
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "BenchModels.h"
#include "P3dmodell.h"

namespace {

double MB(double bytes) { return bytes / (1024.0 * 1024.0); }

// Peak resident set so far, in bytes.
double PeakRss() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) * 1024.0;
}

// Resident set now, in bytes.
double CurrentRss() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

// Heap in use (arenas and mmapped blocks), in bytes.
double HeapInUse() {
    const struct mallinfo2 mi = mallinfo2();
    return static_cast<double>(mi.uordblks + mi.hblkhd);
}

bool WriteBenchModel(const std::string& path) {
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        try {
            vistrel::WriteFile(path, vistrel::BuildModel(vistrel::bench::BigModel()));
        } catch (...) {
            _exit(1);
        }
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    bool fromMemory = false;
    std::string path;
    for (int k = 1; k < argc; ++k) {
        if (std::strcmp(argv[k], "--memory") == 0)
            fromMemory = true;
        else
            path = argv[k];
    }
    bool temporary = false;
    if (path.empty()) {
        path = "/tmp/vistrel_bench_memory_" + std::to_string(getpid()) + ".p3d";
        if (!WriteBenchModel(path)) {
            std::fprintf(stderr, "bench_load_memory: cannot write %s\n", path.c_str());
            return 2;
        }
        temporary = true;
    }

    double fileSize = 0;
    {
        std::ifstream f(path, std::ios::binary | std::ios::ate);
        if (!f) {
            std::fprintf(stderr, "bench_load_memory: cannot open %s\n", path.c_str());
            return 2;
        }
        fileSize = static_cast<double>(f.tellg());
    }

    malloc_trim(0);
    const double rssBefore = CurrentRss();
    const double peakBefore = PeakRss();
    const double heapBefore = HeapInUse();

    std::unique_ptr<vistrel::TP3dModell> model;
    if (fromMemory) {
        std::ifstream f(path, std::ios::binary);
        std::vector<uint8_t> bytes(static_cast<std::size_t>(fileSize));
        f.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        model = std::make_unique<vistrel::TP3dModell>(path, std::move(bytes));
    } else {
        model = std::make_unique<vistrel::TP3dModell>(path);
    }

    const double peak = PeakRss();
    const double heapModel = HeapInUse() - heapBefore;
    const double rssAfter = CurrentRss();
    std::size_t vertexes = 0;
    for (const vistrel::TP3dLOD* lod : model->LODs) vertexes += static_cast<std::size_t>(lod->Vertexes.Count());

    const double growth = peak - (peakBefore > rssBefore ? peakBefore : rssBefore);
    const double bound = 3 * fileSize + heapModel;
    std::printf("load from:            %s\n", fromMemory ? "memory buffer" : "file");
    std::printf("file:                 %s\n", path.c_str());
    std::printf("complete:             %s, %d LODs, %zu vertexes\n", model->Complete() ? "yes" : "no",
                model->LODs.Count(), vertexes);
    std::printf("file size:            %10.1f MB\n", MB(fileSize));
    std::printf("model heap:           %10.1f MB (%.2f x file)\n", MB(heapModel), heapModel / fileSize);
    std::printf("RSS before load:      %10.1f MB\n", MB(rssBefore));
    std::printf("RSS after load:       %10.1f MB\n", MB(rssAfter));
    std::printf("peak RSS:             %10.1f MB\n", MB(peak));
    std::printf("peak growth:          %10.1f MB (%.2f x file)\n", MB(growth), growth / fileSize);
    std::printf("peak over the model:  %10.1f MB (%.2f x file)\n", MB(growth - heapModel),
                (growth - heapModel) / fileSize);
    std::printf("target (3 x file + model): %5.1f MB: %s\n", MB(bound), growth <= bound ? "met" : "MISSED");

    if (temporary) std::remove(path.c_str());
    return growth <= bound ? 0 : 1;
}
