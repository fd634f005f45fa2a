// One picture of a model made without a window: the textures found and
// decoded, a headless context (one of its own, or the caller's), the frame
// drawn, read back and, when asked, written as PNG. vistrel --screenshot, the
// thumbnailer and the benchmark of pictures all make theirs here.
#pragma once

#include "Camera.h"
#include "Headless.h"
#include "P3dmodell.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vistrel {

class TFolderListings;

// The camera of a thumbnail: turned by (RotX, RotY) degrees, from the other
// side about y when the LOD's faces look that way (a flat or open model),
// the vertices framed tightly to Fill of the picture.
struct TTightFit {
    float RotX = 0;
    float RotY = 0;
    float Fill = 1;
};

struct TPictureRequest {
    const TP3dLOD* Lod = nullptr;  // required
    const TRealSelection* Selection = nullptr;
    std::optional<TCamera> Camera;  // as it is; none: Fit
    TTightFit Fit;
    std::array<float, 4> Light = InitialLightPosition;
    bool Transparent = false;
    bool Vertexes = false;
    bool Ground = false;
    bool Axis = false;
    float Opacity = 0.2f;
    bool LightMarker = true;
    bool BothSides = true;  // a picture shows faces from whichever side they are seen
    int Width = 800;
    int Height = 600;
    std::vector<std::string> TextureRoots;           // none: untextured
    TFolderListings* Listings = nullptr;             // a run's folder listings; none: the picture's own
    int LargestTextureSide = 0;                      // above 0: smaller levels (and halved pictures) for small pictures
    std::optional<std::array<float, 4>> Background;  // none: the view's light blue
    // The context to draw in, asked for once the textures are decoded (so
    // that it can be made meanwhile on a thread of the caller's), current on
    // this thread; none: a context of the picture's own.
    std::function<THeadlessContext*()> Context;
    std::string Output;      // the PNG to write; empty: none
    bool KeepAlpha = false;  // RGBA PNG; else RGB
};

// How long the steps took, in seconds.
struct TPictureTimes {
    double Textures = 0;  // found, decoded and uploaded
    double Draw = 0;
    double ReadBack = 0;
    double Png = 0;
};

struct TPicture {
    bool Ok = false;
    std::string Error;            // when not Ok: "no OpenGL context: …", "cannot write …"
    std::string TextureProblems;  // one line of what was not found, outside or not decoded; empty when none
    std::vector<uint8_t> Rgba;    // Width x Height pixels, the top row first
    TPictureTimes Times;
};

TPicture RenderPicture(const TPictureRequest& request);

// What a thumbnail shows of a model: the finest LOD that has faces (the
// smallest resolution below the special ones, else the first with faces);
// none when no LOD has a face.
const TP3dLOD* FinestLod(const TP3dModell& model);

// A thumbnail of the LOD, size x size: the three-quarter view framed
// tightly, the light high on the left, no light marker, transparent around
// the model, textures from the roots at the level that fits the size.
TPictureRequest ThumbnailRequest(const TP3dLOD& lod, int size, std::vector<std::string> textureRoots);

}  // namespace vistrel
