// The model: a model file of either format (binarized or editable) read into
// memory, and written back out in the editable format. Pure C++, no GUI: messages that the user must see go to
// a message sink, debug lines to a log sink; both may be empty.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "FileMagic.h"  // the first four bytes of a file: ModelMagicOf tells them
#include "ReadResult.h"
#include "StreamErrors.h"

namespace vistrel {

// A callable that takes one line of text. Empty means nobody listens.
using TLogEvent = std::function<void(const std::string&)>;
// Messages that the user must see at once (the viewer shows them modally).
using TMessageEvent = std::function<void(const std::string&)>;

// An ordered list of pointers; with OwnsItems it destroys its items when it is
// cleared or destroyed. Selections hold non-owning lists into the LOD's lists.
template <class T>
class TTypedList {
public:
    explicit TTypedList(bool ownsItems) : ownsItems_(ownsItems) {}
    ~TTypedList() { Clear(); }
    TTypedList(const TTypedList&) = delete;
    TTypedList& operator=(const TTypedList&) = delete;

    bool OwnsItems() const { return ownsItems_; }
    void Add(T* item) { items_.push_back(item); }
    void Reserve(std::size_t n) { items_.reserve(n); }
    int Count() const { return static_cast<int>(items_.size()); }
    bool Empty() const { return items_.empty(); }
    T* Items(int index) const {
        if (index < 0 || static_cast<std::size_t>(index) >= items_.size())
            throw EListError("List index out of bounds (" + std::to_string(index) + ")");
        return items_[static_cast<std::size_t>(index)];
    }
    T* operator[](std::size_t index) const { return items_[index]; }
    int IndexOf(const T* item) const {
        for (std::size_t i = 0; i < items_.size(); ++i)
            if (items_[i] == item) return static_cast<int>(i);
        return -1;
    }
    void Clear() {
        if (ownsItems_)
            for (T* item : items_) delete item;
        items_.clear();
    }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<T*> items_;
    bool ownsItems_;
};

struct AVertex {
    float X = 0, Y = 0, Z = 0;
    uint32_t PointFlags = 0;
};

struct ANormal {
    float X = 0, Y = 0, Z = 0;
};

struct ACorner {
    int32_t VertexIndex = 0;
    int32_t NormalIndex = 0;
    float U = 0, V = 0;
};

struct APolygon {
    int32_t VertexCount = 0;
    ACorner Corners[4];
    uint32_t Flags = 0;
    int16_t TextureIndex = -1;
};

struct AIndexTable {
    int32_t Count = 0;
    std::vector<int16_t> Items;
};

struct AUV {
    float U = 0, V = 0;
};

struct TVec3 {
    float X = 0, Y = 0, Z = 0;
};

class TRealSelection {
public:
    explicit TRealSelection(std::string name) : Name(std::move(name)) {}
    TTypedList<AVertex> Vertexes{false};
    TTypedList<APolygon> Polygons{false};
    std::string Name;
};

class TModelReader;  // the readers of both layouts (model/formats)

class TP3dLOD {
public:
    explicit TP3dLOD(TLogEvent onLog = {}, TMessageEvent onMessage = {});

    float Resolution = 0;
    TTypedList<AVertex> Vertexes{true};
    TTypedList<ANormal> Normals{true};
    TTypedList<APolygon> Polygons{true};
    TTypedList<TRealSelection> Selections{true};
    AIndexTable UniqueVertexes;
    AIndexTable LinkToUnique;
    std::vector<std::string> Textures;
    std::vector<std::string> Properties;  // "name= value"
    std::vector<uint32_t> VertexInfo;
    std::vector<AUV> UVData;
    TVec3 MinPos, MaxPos;
    TLogEvent OnLog;
    TMessageEvent OnMessage;

private:
    friend class TModelReader;
    void Log(const std::string& line) const;
    void Message(const std::string& text) const;
};

class TP3dModell {
public:
    // An empty model, to be built in memory (an importer fills it); nothing
    // is opened.
    explicit TP3dModell(TLogEvent onLog = {}, TMessageEvent onMessage = {});
    // Opens FileName at once. The file's read errors (EFOpenError,
    // EReadError) leave the constructor.
    TP3dModell(std::string fileName, TLogEvent onLog = {}, TMessageEvent onMessage = {});
    // Reads a file's bytes that are already in memory; FileName is kept for
    // display and logging only.
    TP3dModell(std::string fileName, std::vector<uint8_t> bytes, TLogEvent onLog = {}, TMessageEvent onMessage = {});
    ~TP3dModell();
    TP3dModell(const TP3dModell&) = delete;
    TP3dModell& operator=(const TP3dModell&) = delete;

    TTypedList<TP3dLOD> LODs{true};
    std::vector<float> Masses;
    TP3dLOD* GeometryLOD = nullptr;
    std::string FileName;
    TVec3 Offset1, Offset2, Offset3;
    TLogEvent OnLog;
    TMessageEvent OnMessage;
    float Mass = 0;

    // True only when a model (binarized or editable) was read completely.
    bool Open(const std::string& fileName);
    bool OpenBytes(std::vector<uint8_t> bytes);
    void Clear();
    // Which kind of file the last Open found.
    enum class Format { None, Binarized, Editable, Unknown };
    Format FileFormat() const { return format_; }

    // The result of the last Open: true when the model was read completely.
    bool Complete() const { return complete_; }
    // Where and why the last Open stopped; Ok when it read the model
    // completely. A read error that leaves the constructor carries its own
    // offset and cause (EReadError).
    const TReadResult& Failure() const { return failure_; }

    // Writes the model in the editable format, atomically: on any failure an
    // existing file keeps its contents. Reports "MLOD saved" (and any texts
    // that had to be cut to fit their fields) through OnMessage. False when
    // the save was refused or aborted with a message; "Cannot create file %s"
    // and "Stream write error" are raised.
    bool WriteMLOD(const std::string& fileName) const;

private:
    friend class TModelReader;
    void Log(const std::string& line) const;
    void Message(const std::string& text) const;
    bool complete_ = false;
    Format format_ = Format::None;
    TReadResult failure_;
};

// What four bytes of magic say a file is.
enum class TModelMagic { Binarized, Editable, Other };
TModelMagic ModelMagicOf(const std::array<char, 4>& magic);

// A LOD's property line as the readers make it ("name= value") and its
// parts: the name up to the first "=", the value after it without the one
// blank the readers put there (with it when keepBlank, as the panel shows
// it).
std::string PropertyLine(const std::string& name, const std::string& value);
std::pair<std::string, std::string> SplitProperty(const std::string& line, bool keepBlank = false);

// Whether a face can be drawn or written: 3 or 4 corners; each names a
// vertex of the LOD and, unless positionsOnly, a normal.
bool PolygonDrawable(const APolygon& polygon, const TP3dLOD& lod, bool positionsOnly = false);

// The resolution that marks the geometry LOD: the float nearest to 1e13.
inline constexpr float kGeometryResolution = 1e13f;

// The display name of a LOD from its resolution ("Geometry", "LOD 1.000"...).
std::string LodDisplayName(float resolution);

// The other way: the resolution of a LOD named as LodDisplayName names it
// ("Geometry", "LOD 1.500"). With prefix, a name that begins with such a name
// followed by a blank counts too (the longest such name wins). False for
// any other name.
bool LodResolutionOfName(const std::string& name, float& resolution, bool prefix = false);

// The true extent of a selection over its vertices (positions as held, with
// Offset2 included). False, with start and end untouched, for a selection
// without vertices.
bool SelectionExtent(const TRealSelection& selection, TVec3& start, TVec3& end);

// The editable format's point flags computed from a vertex's hint bits.
uint32_t MlodPointFlags(uint32_t vertexInfo);
// The other way, as the editable reader takes them; flags that no hint bits
// give (MlodPointFlags of the result differs) lose what cannot be held.
uint32_t VertexInfoFromPointFlags(uint32_t flags);

// "( %.3f; %.3f; %.3f )" with a point as decimal mark.
std::string FormatTriple(float x, float y, float z);

}  // namespace vistrel
