// libFuzzer target: any bytes through the importer's glTF path (the first
// byte chooses .glb or .gltf), then the model it makes written in the
// editable format to memory's temporary folder. It must give a model or a
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
    const bool binary = data[0] & 1;
    const std::vector<unsigned char> bytes(data + 1, data + size);
    vistrel::importing::TImportResult result = vistrel::importing::ImportGltfBytes(bytes, binary, {});
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
    return 0;
}
