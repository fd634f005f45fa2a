// One frame of the view, drawn with nothing but a current OpenGL context
// (compatibility profile): the record of what the frame shows, the GL state
// it needs, the projection, and the drawing. The window fills the record
// from its controls; pictures made without a window fill it from their
// options. Both draw through DrawFrame, so they agree on the pixels.
#pragma once

#include "Camera.h"
#include "DrawBatches.h"
#include "GL.h"
#include "P3dmodell.h"

#include <array>

namespace vistrel {

struct TFrame {
    const TP3dLOD* Lod = nullptr;               // none: the background alone
    const TRealSelection* Selection = nullptr;  // drawn in red; none: nothing red
    TCamera Camera;
    std::array<float, 4> Light = InitialLightPosition;  // in the turned frame
    bool Transparent = false;                           // faces added with Opacity, no depth test
    bool Vertexes = false;                              // a marker on every vertex
    bool Ground = false;                                // the ground plane (not when transparent)
    bool Axis = false;
    float Opacity = 0.2f;     // 0 to 1
    bool LightMarker = true;  // the small yellow sphere where the light is
    bool BothSides = false;   // back faces drawn too, in the colour of their fronts; false: culled
    bool Wire = false;        // the faces' edges drawn over them, dark, unlit
    TTextureLookup Texture;   // the GL texture of a face's texture index
    GLuint GroundTexture = 0;
    bool Batched = true;             // vertex-array runs; false: one face at a time
    TLodDrawCache* Cache = nullptr;  // the LOD's expanded arrays (batched)
};

// The view's GL state: smooth shading, the light blue background, depth test,
// textures, blending, GL_LIGHT1 at lightPosition (x, y, z, w), colour
// material, normalised normals, clockwise front faces with back faces culled.
void InitSceneState(const float* lightPosition);

// The viewport and a 45 degree perspective for a view of this size in pixels.
void SetProjection(int width, int height);

// Clears and draws one frame.
void DrawFrame(const TFrame& frame);

}  // namespace vistrel
