// Texture names as models store them ("data\wall.paa": relative to the
// texture root, "\" between the parts, letter case as typed on a file system
// that ignores it) turned into files under the texture root.
//
// Both functions are reentrant (they use only value types and the file
// system), so the texture loader calls them from its decoding threads.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <string>

namespace vistrel {

// The name's bytes as text: the platform's 8-bit encoding (UTF-8 here, the
// ANSI code page on Windows); bytes that are not valid UTF-8 are read as
// Latin-1, so that every name gives some text.
QString TextureNameText(const std::string& name);

// The path the user is told about: dataPath + separator + name, with the
// stored "\" separators turned into the platform's. With an empty dataPath
// the path starts at the root of the file system.
QString TextureDisplayPath(const QString& dataPath, const std::string& name);

// The existing file that the name stands for under dataPath: the display path
// itself when a file is there; otherwise the path found by matching each
// part of the name (folders, then the file) ignoring letter case, an exact
// spelling preferred at every step. Empty parts (doubled separators) are
// skipped; "." and ".." are taken as they are. Nothing when no file matches
// (a folder does not count as a file).
std::optional<QString> ResolveTexturePath(const QString& dataPath, const std::string& name);

// The folders a LOD's texture names are looked up under, in order: the
// texture root when one is set; otherwise the model's folder and each folder
// above it, nearest first (texture names are relative to the data folder a
// model was taken from); with neither, the root of the file system.
QStringList TextureRoots(const QString& dataPath, const QString& modelFile);

}  // namespace vistrel
