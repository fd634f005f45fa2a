// The readers of the two layouts (docs/model-layouts.md), over the file in
// memory: a friend of the model's classes, private to the model library.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "MemStream.h"
#include "P3dmodell.h"

namespace vistrel {

class TModelReader {
public:
    // The file after its magic is told: either layout, or "Incorrect Format!".
    static bool Open(TP3dModell& model, TMemStream& stream);
    static bool ReadBinarized(TP3dModell& model, TMemStream& stream);
    // The editable format after its magic: the LODs, their resolutions, the
    // geometry LOD's masses and their sum as the total mass.
    static bool ReadEditable(TP3dModell& model, TMemStream& stream);

    // One LOD body. Raises nothing: a failure has been shown through the
    // LOD's OnMessage, and the LOD keeps what was read before it.
    static TReadResult ReadLod(TP3dLOD& lod, TMemStream& stream);
    // One LOD block of the editable format ("SP3X"), the same way; the masses
    // of its "#Mass#" tag go to masses.
    static TReadResult ReadEditableLod(TP3dLOD& lod, TMemStream& stream, std::vector<float>& masses);

private:
    static TReadResult ReadLodBody(TP3dLOD& lod, TMemStream& stream);
    static TReadResult ReadEditableLodBody(TP3dLOD& lod, TMemStream& stream, std::vector<float>& masses);
    // Runs a LOD body; what it raises becomes a result, shown as
    // "Complete loading of P3d failed!".
    static TReadResult Guarded(const TP3dLOD& lod, const TMemStream& stream, const std::function<TReadResult()>& body);
    // A failure the body shows itself: the message, and the result.
    static TReadResult Refuse(const TP3dLOD& lod, const TMemStream& stream, const std::string& message,
                              TReadStatus status, std::string cause);
};

}  // namespace vistrel
