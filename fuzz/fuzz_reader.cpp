// libFuzzer target: reads arbitrary bytes as a model file. Built as
// fuzz_editable (VISTREL_FUZZ_EDITABLE), it puts the editable magic "MLOD" in
// front of every input, so that all of the fuzzer's effort goes into the
// editable reader.
//
// Only the reader's own errors (vistrel::EP3dError and its kinds) are an
// acceptable way out of the constructor. Anything else (std::bad_alloc,
// std::out_of_range, a failed check below, a sanitizer report) is left to
// crash the process, so that libFuzzer keeps the input.
//
// After a load, the model is checked against the promises the reader makes
// (corner U/V copied from the UV table, selections that refer to the very
// objects of their LOD, masses that match the geometry LOD...), it is read
// once more without a log sink and must come out the same, and the display
// helpers run over every LOD and selection.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "P3dmodell.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_reader: broken invariant: %s\n", what);
    std::fflush(stderr);
    __builtin_trap();
}

#define FUZZ_CHECK(cond)          \
    do {                          \
        if (!(cond)) Fail(#cond); \
    } while (0)

// FNV-1a over everything the model holds, to compare two loads.
struct Digest {
    uint64_t h = 1469598103934665603ull;
    void Bytes(const void* p, std::size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        for (std::size_t i = 0; i < n; ++i) {
            h ^= b[i];
            h *= 1099511628211ull;
        }
    }
    template <class T>
    void Value(const T& v) {
        Bytes(&v, sizeof v);
    }
    void Text(const std::string& s) {
        Value(s.size());
        Bytes(s.data(), s.size());
    }
};

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

uint64_t CheckAndDigest(const vistrel::TP3dModell& m) {
    Digest d;
    d.Value(m.LODs.Count());
    for (const vistrel::TP3dLOD* lod : m.LODs) {
        FUZZ_CHECK(lod != nullptr);
        d.Value(lod->Resolution);
        d.Value(lod->MinPos);
        d.Value(lod->MaxPos);

        std::unordered_set<const void*> vertexes, polygons;
        for (const vistrel::AVertex* v : lod->Vertexes) {
            FUZZ_CHECK(v != nullptr);
            FUZZ_CHECK(v->PointFlags == 0);
            vertexes.insert(v);
            d.Value(v->X);
            d.Value(v->Y);
            d.Value(v->Z);
        }
        FUZZ_CHECK(vertexes.size() == static_cast<std::size_t>(lod->Vertexes.Count()));
        for (const vistrel::ANormal* n : lod->Normals) {
            FUZZ_CHECK(n != nullptr);
            d.Value(*n);
        }
        for (const vistrel::APolygon* p : lod->Polygons) {
            FUZZ_CHECK(p != nullptr);
            polygons.insert(p);
            FUZZ_CHECK(p->VertexCount == 3 || p->VertexCount == 4);
            d.Value(p->VertexCount);
            d.Value(p->Flags);
            d.Value(p->TextureIndex);
            for (int c = 0; c < p->VertexCount; ++c) {
                const vistrel::ACorner& k = p->Corners[c];
                FUZZ_CHECK(k.NormalIndex == k.VertexIndex);
                FUZZ_CHECK(k.VertexIndex >= 0 && static_cast<std::size_t>(k.VertexIndex) < lod->UVData.size());
                const vistrel::AUV& uv = lod->UVData[static_cast<std::size_t>(k.VertexIndex)];
                FUZZ_CHECK(SameBits(k.U, uv.U) && SameBits(k.V, uv.V));
                d.Value(k.VertexIndex);
            }
        }
        FUZZ_CHECK(polygons.size() == static_cast<std::size_t>(lod->Polygons.Count()));

        FUZZ_CHECK(lod->UniqueVertexes.Count >= 0);
        FUZZ_CHECK(static_cast<std::size_t>(lod->UniqueVertexes.Count) == lod->UniqueVertexes.Items.size());
        FUZZ_CHECK(lod->LinkToUnique.Count >= 0);
        FUZZ_CHECK(static_cast<std::size_t>(lod->LinkToUnique.Count) == lod->LinkToUnique.Items.size());
        d.Bytes(lod->UniqueVertexes.Items.data(), lod->UniqueVertexes.Items.size() * 2);
        d.Bytes(lod->LinkToUnique.Items.data(), lod->LinkToUnique.Items.size() * 2);
        d.Bytes(lod->VertexInfo.data(), lod->VertexInfo.size() * 4);
        d.Bytes(lod->UVData.data(), lod->UVData.size() * sizeof(vistrel::AUV));
        d.Value(lod->VertexInfo.size());
        d.Value(lod->UVData.size());

        for (const std::string& t : lod->Textures) {
            FUZZ_CHECK(t.size() <= 255);
            FUZZ_CHECK(t.find('\0') == std::string::npos);
            d.Text(t);
        }
        for (const std::string& p : lod->Properties) {
            FUZZ_CHECK(p.find("= ") != std::string::npos);
            d.Text(p);
        }

        for (const vistrel::TRealSelection* sel : lod->Selections) {
            FUZZ_CHECK(sel != nullptr);
            FUZZ_CHECK(!sel->Vertexes.OwnsItems() && !sel->Polygons.OwnsItems());
            d.Text(sel->Name);
            for (const vistrel::AVertex* v : sel->Vertexes) {
                FUZZ_CHECK(vertexes.count(v) == 1);
                d.Value(lod->Vertexes.IndexOf(v));
            }
            for (const vistrel::APolygon* p : sel->Polygons) {
                FUZZ_CHECK(polygons.count(p) == 1);
                d.Value(lod->Polygons.IndexOf(p));
            }
            // the panel's view of a selection
            vistrel::TVec3 start{}, end{};
            if (vistrel::SelectionExtent(*sel, start, end)) {
                FUZZ_CHECK(!sel->Vertexes.Empty());
                d.Text(vistrel::FormatTriple(start.X, start.Y, start.Z));
                d.Text(vistrel::FormatTriple(end.X, end.Y, end.Z));
            } else {
                FUZZ_CHECK(sel->Vertexes.Empty());
            }
        }

        d.Text(vistrel::LodDisplayName(lod->Resolution));
        d.Text(vistrel::FormatTriple(lod->MinPos.X, lod->MinPos.Y, lod->MinPos.Z));
    }

    if (m.GeometryLOD) {
        FUZZ_CHECK(m.LODs.IndexOf(m.GeometryLOD) >= 0);
        FUZZ_CHECK(m.GeometryLOD->Resolution == vistrel::kGeometryResolution);
        FUZZ_CHECK(m.Masses.size() == static_cast<std::size_t>(m.GeometryLOD->UniqueVertexes.Count));
        d.Value(m.LODs.IndexOf(m.GeometryLOD));
    } else {
        FUZZ_CHECK(m.Masses.empty());
    }
    d.Bytes(m.Masses.data(), m.Masses.size() * sizeof(float));
    d.Value(m.Offset1);
    d.Value(m.Offset2);
    d.Value(m.Offset3);
    d.Value(m.Mass);
    d.Value(m.Complete());
    d.Value(m.FileFormat());
    return d.h;
}

struct Outcome {
    bool constructed = false;
    std::string error;  // what() of the EP3dError that left the constructor
    uint64_t digest = 0;
    std::vector<std::string> messages;
};

Outcome Load(const uint8_t* data, std::size_t size, bool withLog) {
    Outcome out;
    std::size_t logLines = 0, logBytes = 0;
    uint64_t logHash = 0;
    vistrel::TLogEvent onLog;
    if (withLog) {
        // a sink that consumes what it gets, as the viewer's memo would
        onLog = [&](const std::string& line) {
            ++logLines;
            logBytes += line.size();
            for (unsigned char c : line) logHash = logHash * 31 + c;
        };
    }
    auto onMessage = [&](const std::string& text) { out.messages.push_back(text); };

    try {
        vistrel::TP3dModell model("fuzz.p3d", std::vector<uint8_t>(data, data + size), onLog, onMessage);
        out.constructed = true;
        out.digest = CheckAndDigest(model);

        using Format = vistrel::TP3dModell::Format;
        switch (model.FileFormat()) {
        case Format::Binarized:
            // a failed read always tells the user; a complete one never does
            FUZZ_CHECK(model.Complete() == out.messages.empty());
            break;
        case Format::Editable:
            FUZZ_CHECK(model.Complete() == out.messages.empty());
            for (const vistrel::TP3dLOD* lod : model.LODs) {
                // every point has a vertex, every vertex a point
                for (int16_t v : lod->UniqueVertexes.Items)
                    FUZZ_CHECK(v >= 0 && v < lod->Vertexes.Count() && v < lod->LinkToUnique.Count);
                for (int16_t p : lod->LinkToUnique.Items) FUZZ_CHECK(p >= 0 && p < lod->UniqueVertexes.Count);
                FUZZ_CHECK(lod->Normals.Count() == lod->Vertexes.Count());
                FUZZ_CHECK(lod->VertexInfo.size() == static_cast<std::size_t>(lod->Vertexes.Count()));
            }
            break;
        case Format::Unknown:
            FUZZ_CHECK(!model.Complete() && model.LODs.Empty());
            FUZZ_CHECK(out.messages.size() == 1 && out.messages[0] == "Incorrect Format!");
            break;
        case Format::None: Fail("format not set after a read");
        }
        if (withLog) FUZZ_CHECK(logLines > 0);
    } catch (const vistrel::EP3dError& e) {
        out.error = e.what();
        FUZZ_CHECK(!out.error.empty());
    }
    if (!withLog) FUZZ_CHECK(logLines == 0);
    if (logBytes == SIZE_MAX && logHash == 0) std::abort();  // keeps the sink's work alive
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, std::size_t inputSize) {
#ifdef VISTREL_FUZZ_EDITABLE
    std::vector<uint8_t> file = {'M', 'L', 'O', 'D'};
    file.insert(file.end(), input, input + inputSize);
    const uint8_t* data = file.data();
    const std::size_t size = file.size();
#else
    const uint8_t* data = input;
    const std::size_t size = inputSize;
#endif
    const Outcome logged = Load(data, size, true);
    const Outcome silent = Load(data, size, false);
    // the log sink must change nothing but the log
    FUZZ_CHECK(logged.constructed == silent.constructed);
    FUZZ_CHECK(logged.error == silent.error);
    FUZZ_CHECK(logged.digest == silent.digest);
    FUZZ_CHECK(logged.messages == silent.messages);
    return 0;
}
