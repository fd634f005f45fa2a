// What the editable format keeps of a model beyond the meshes of a glTF
// file — every point with its flags and normal, every face with its corners,
// flags and texture name, the selections' members, the properties, the
// masses and the resolutions — as one record in the order of the editable
// file, packed with LZMA2. The glTF writer hands it to the root node's extras;
// the layout is in docs/gltf-extras.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "P3dmodell.h"

namespace vistrel::exporting {

// The record's first bytes; a record laid out otherwise gets other ones.
constexpr char kRecordMagic[4] = {'V', 'X', 'E', 'D'};

// The record of the given LODs, unpacked; empty when a LOD could not be
// saved in the editable format (indexes outside their tables, selection
// members that are not the LOD's, too few masses).
std::vector<uint8_t> EditableRecord(const TP3dModell& model, const std::vector<const TP3dLOD*>& lods);

// The record packed: its size (4 bytes, little-endian), then a raw LZMA2
// stream (preset 9, or 1 above 256 KiB, with lc 1, lp 2, pb 2; a reader
// needs none of these) whose dictionary is
// RecordDictionary of that size: the size, at least 4 KiB and at most 8 MiB
// (packing needs about 11 times the dictionary, under 100 MB). Empty when it
// cannot be packed.
constexpr std::size_t kRecordDictionaryMax = std::size_t{8} << 20;
uint32_t RecordDictionary(std::size_t recordBytes);
std::vector<uint8_t> PackRecord(const std::vector<uint8_t>& record);

// The record again from the bytes of its buffer view: empty, with the reason
// in error, when they are not a packed record or unpack to other than the
// size they give (bounded by maxBytes, which the caller sets from the file's
// size).
std::vector<uint8_t> UnpackRecord(const uint8_t* view, std::size_t viewBytes, std::size_t maxBytes, std::string& error);

}  // namespace vistrel::exporting
