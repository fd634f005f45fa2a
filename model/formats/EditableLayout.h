// The sizes and values of the editable format that its reader and its writer
// share. The sections are those of docs/model-layouts.md.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vistrel::editable {

constexpr uint32_t kVersion = 0x101;                    // E.1, the editor's files
constexpr uint32_t kWriterVersion = 0x3F8CCCCD;         // E.1, bytes CD CC 8C 3F: the bits of 1.1f
constexpr uint32_t kHeaderBytes = 28;                   // E.2, the SP3X header as written
constexpr uint32_t kHeaderVersion = 153;                // E.2, written, not read
constexpr uint32_t kHeaderFlags = 0;                    // E.2, written, not read
constexpr uint64_t kPointBytes = 16;                    // E.3: x, y, z, point flags
constexpr uint64_t kNormalBytes = 12;                   // E.4
constexpr uint64_t kFaceBytes = 104;                    // E.5
constexpr std::size_t kCornerBytes = 16;                // E.5: point, normal, u, v
constexpr std::size_t kTextureField = 32;               // E.5, the face's texture name
constexpr std::size_t kNameField = 64;                  // E.6, tag names, property names and values
constexpr std::size_t kPropertyBytes = 2 * kNameField;  // E.6, "#Property#" data
constexpr std::size_t kMassBytes = 4;                   // E.6, one float per point in "#Mass#"
constexpr uint32_t kEndOfFileLength = 0;                // E.6, "#EndOfFile#" as written
// E.5: slot s of a stored face holds the binarized corner order[s]; each
// order is its own inverse, so reading uses the same tables.
constexpr int kQuadOrder[4] = {1, 0, 3, 2};
constexpr int kTriangleOrder[3] = {0, 2, 1};
// E.8: vertex and point indices live in 16-bit tables.
constexpr std::size_t kMaxTableIndex = 32767;

}  // namespace vistrel::editable
