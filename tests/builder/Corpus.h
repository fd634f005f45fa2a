// A small corpus of test models with the shapes measured on real models (the
// sample model is far simpler than any of them): long LOD chains with the
// special LODs, about 10 000 faces in the largest LOD 0, quads and triangles
// mixed, a hundred and more texture names of which most do not exist, the
// empty name listed in every LOD with untextured faces (a few faces have no
// texture index instead), many named selections (a quarter of them without
// faces), hint values 1..6 on about 30 % of the points; and the few textures
// that do exist. make_corpus
// writes them at build time, the same bytes on every run.
//
//   large          17 LODs: seven resolution LODs from about 10 000 faces
//                  down, the views, geometry with the masses, memory, land
//                  contact, hitpoints, fire geometry and the "- Geo" views;
//                  in LOD 0 a box of 6 faces whose UVs are NaN, inside the hull
//   middle         10 LODs from about 3 500 faces down, about 50 textures
//   single_face    one LOD, one quad, one missing texture
//   flat           2 LODs, every point at z = 0, seen from the front (+z) only,
//                  a transparent texture that exists
//   no_geometry    4 LODs of about 10 faces, no geometry LOD, no masses
//   selections128  LOD 0 with 128 named selections, 32 of them without faces
//
// Coordinates in metres, x to the right, y up, z forward. Faces are wound
// counter-clockwise seen from outside and normals are stored pointing into the
// solid, as in the sample model (samples/make_sample.cpp).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "P3dBuilder.h"

namespace vistrel {

struct TCorpusTexture {
    std::string path;  // relative to the corpus folder, with '/': "data/vx/tracked/data/body_co.paa"
    std::vector<uint8_t> bytes;
};

struct TCorpusModel {
    std::string name;  // "large", "middle", …
    std::string file;  // relative to the corpus folder, with '/': "models/vx/tracked/large.p3d"
    BModel model;
};

// The models, in the order above.
std::vector<TCorpusModel> CorpusModels();

// The texture files that exist, under "data/": each at the path of the name
// the models give it ("vx\\tracked\\data\\body_co.paa" is
// "data/vx/tracked/data/body_co.paa"), so that data/ is the texture root.
std::vector<TCorpusTexture> CorpusTextures();

// Writes the models and the textures below out, creating the folders;
// throws std::runtime_error when a file cannot be written.
void WriteCorpus(const std::filesystem::path& out);

}  // namespace vistrel
