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

// The record packed. It is cut into parts of about kRecordPartBytes (at
// most kRecordPartsMax), packed and unpacked on as many threads as there
// are, each a raw LZMA2 stream (preset 9 up to 256 KiB, preset 1 above, with
// lc 1, lp 2, pb 2; a reader needs none of these) whose dictionary is
// RecordDictionary of the part's size: the size, at least 4 KiB and at most
// 8 MiB. One part: its size (4 bytes, little-endian, never 0), then its
// stream. K parts: a 0, K, K triples (the part's size, its size packed, the
// CRC-32 of the part), then the K streams. Empty when it cannot be packed.
constexpr std::size_t kRecordDictionaryMax = std::size_t{8} << 20;
constexpr std::size_t kRecordPartBytes = std::size_t{512} << 10;
constexpr std::size_t kRecordPartsMax = 64;
uint32_t RecordDictionary(std::size_t recordBytes);
std::vector<uint8_t> PackRecord(const std::vector<uint8_t>& record);

// The record again from the bytes of its buffer view: empty, with the reason
// in error, when they are not a packed record, unpack to other than the sizes
// they give (in all bounded by maxBytes) or fail their CRC.
std::vector<uint8_t> UnpackRecord(const uint8_t* view, std::size_t viewBytes, std::size_t maxBytes, std::string& error);

}  // namespace vistrel::exporting
