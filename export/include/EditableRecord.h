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
// lc 1, lp 2, pb 2, other settings where a small part comes out smaller; a
// reader needs none of these) whose dictionary is RecordDictionary of the
// part's size: the size, at least 4 KiB and at most 8 MiB. First the data's
// CRC-32 (4 bytes, little-endian; 0 until SetDataCrc puts it there). Then,
// for one part, its stream (whose first byte is never 0); for K parts, a 0,
// K (a byte), K triples (the part's size, its size packed, its CRC-32) and
// the K streams. Empty when it cannot be packed.
constexpr std::size_t kRecordDictionaryMax = std::size_t{8} << 20;
constexpr std::size_t kRecordPartBytes = std::size_t{512} << 10;
constexpr std::size_t kRecordPartsMax = 64;
uint32_t RecordDictionary(std::size_t recordBytes);
std::vector<uint8_t> PackRecord(const std::vector<uint8_t>& record);

// Puts into a packed record (where it lies in the buffer) the CRC-32 of the
// buffer's bytes before it: the meshes and pictures as written, so that an
// importer can tell a file whose data were changed after the export.
void SetDataCrc(uint8_t* view, std::size_t viewBytes, const uint8_t* data, std::size_t dataBytes);

// The record again from the bytes of its buffer view: empty, with the reason
// in error, when they are not a packed record, unpack to other than the sizes
// they give (in all bounded by maxBytes) or fail their CRC, or when data (the
// buffer's bytes before the view; null for no check) are not those the
// record's data CRC was taken of. A record as the first files held it (its
// size, then one stream) is read too, without that check.
std::vector<uint8_t> UnpackRecord(const uint8_t* view, std::size_t viewBytes, std::size_t maxBytes, std::string& error,
                                  const uint8_t* data = nullptr, std::size_t dataBytes = 0);

}  // namespace vistrel::exporting
