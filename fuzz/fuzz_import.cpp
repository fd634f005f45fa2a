// libFuzzer target: any bytes through one of the importer's readers, then
// the model it makes written in the editable format to the temporary
// folder. The first byte chooses the reader: bit 0 .glb or .gltf (from
// memory) when bits 1-3 are 0, else the file written with the extension
// they name (OBJ through its own reader, the rest through Assimp's). It must give a model or a
// refusal with a reason, never a crash, a read outside the bytes or an index
// the editable format cannot hold.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "ModelImport.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_import: %s\n", what);
    std::fflush(stderr);
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    static const char* const kFileReaders[] = {".obj", ".stl", ".ply", ".off", ".dae", ".3ds", ".obj"};
    const unsigned reader = (data[0] >> 1) & 7;
    const std::vector<unsigned char> bytes(data + 1, data + size);
    vistrel::importing::TImportResult result;
    if (reader == 0) {
        result = vistrel::importing::ImportGltfBytes(bytes, data[0] & 1, {});
    } else {
        const std::string in = "/tmp/fuzz_import_" + std::to_string(::getpid()) + kFileReaders[reader - 1];
        if (std::FILE* f = std::fopen(in.c_str(), "wb")) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        vistrel::importing::TImportOptions options;
        options.ReaderSeconds = 2;  // within the fuzzer's timeout: a reader that loops is stopped
        result = vistrel::importing::ImportModel(in, options);
        std::remove(in.c_str());
    }
    if (!result.Model) {
        if (result.Error.empty()) Fail("a refusal without a reason");
        return 0;
    }
    for (const vistrel::TP3dLOD* lod : result.Model->LODs) {
        if (lod->Vertexes.Count() > 32768 || lod->UniqueVertexes.Count != lod->Vertexes.Count()) Fail("points");
        for (const vistrel::APolygon* p : lod->Polygons) {
            if (p->VertexCount != 3 && p->VertexCount != 4) Fail("a face of other than 3 or 4 corners");
            for (int k = 0; k < p->VertexCount; ++k)
                if (p->Corners[k].VertexIndex < 0 || p->Corners[k].VertexIndex >= lod->Vertexes.Count())
                    Fail("a corner outside the points");
        }
    }
    static const std::string out = "/tmp/fuzz_import_" + std::to_string(::getpid()) + ".p3d";
    if (!result.Model->WriteMLOD(out)) Fail("the editable writer refused an imported model");
    std::remove(out.c_str());
    return 0;
}
