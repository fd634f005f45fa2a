// The view's camera arithmetic as pure functions: the reset, the fit to a
// loaded model, the mouse rules and the light from the track bars. The main
// window keeps the state in its own fields and calls these.
#pragma once

#include "P3dmodell.h"

#include <array>

namespace vistrel {

// Model units to GL units. A model point (x, y, z) goes to GL as
// (-x*s, y*s, z*s): the model is mirrored in x on screen. A normal
// (nx, ny, nz) goes as (nx*s, -ny*s, -nz*s); GL_NORMALIZE rescales it.
inline constexpr float WorldScale = 0.05f;

// The light's stored position until the track bars first move it.
inline constexpr std::array<float, 4> InitialLightPosition{-5.0f, -20.0f, -10.0f, 1.0f};

// The nearest the zoom may bring the scene: Distance stays at or below this,
// so that the zoom step (proportional to |Distance|) never dies out and the
// user can always zoom back out.
inline constexpr float NearestDistance = -1e-4f;

struct TCamera {
    float PanX = 0;
    float PanY = 0;
    float Distance = 0;  // negative: the scene is in front of the eye
    float RotX = 0;      // degrees about x, then z, then y
    float RotY = 0;
    float RotZ = 0;
};

// What the mouse rules look at: held keys and held buttons.
struct TMouseState {
    bool Shift = false;
    bool Ctrl = false;
    bool Left = false;
    bool Right = false;
};

// The camera of a fresh rendering context: everything 0, Distance -1.
TCamera InitialCamera();

// The camera that frames a model: RotX 10, the largest half extent of LOD 0
// (plus the model's Offset2) seen whole in the 45 degree field of view.
TCamera FitCamera(const TVec3& minPos, const TVec3& maxPos, const TVec3& offset2);

// A camera turned by (rotX, rotY) degrees (RotZ 0) that frames the LOD's
// vertices tightly: seen through the 45 degree perspective of a view of this
// aspect (width / height), they are centred and reach the given share of the
// picture's width or height, whichever they reach first. The view's own fit
// (FitCamera) leaves much more room; this is for thumbnails.
TCamera FrameTightly(const TP3dLOD& lod, float rotX, float rotY, float fill, float aspect);

// How near and how far the wheel and the keys may bring a model: never past
// its near side (the largest half extent of the box, as FitCamera takes it),
// never farther than kFarthestShare times the fitted distance. Distances
// are negative, as Distance is.
inline constexpr float kZoomStep = 0.15f;  // of the distance, per notch
inline constexpr float kFarthestShare = 4.0f;
inline constexpr float kTurnStep = 15.0f;  // degrees per arrow key
struct TZoomLimits {
    float Nearest = NearestDistance;
    float Farthest = -1.0f;
};
TZoomLimits ZoomLimits(const TVec3& minPos, const TVec3& maxPos, const TVec3& offset2);
// Moves the camera notches steps toward the model (negative: away), each by
// kZoomStep of its distance, kept within the limits.
void ZoomCamera(TCamera& camera, double notches, const TZoomLimits& limits);

// The area of the LOD's faces that face an eye turned by (rotX, rotY)
// degrees (RotZ 0), as the frame draws them (clockwise front faces), seen
// without perspective, in GL units. A closed surface shows as much from
// either side; an open or flat one may show its front to one side only.
double FacingArea(const TP3dLOD& lod, float rotX, float rotY);

// One mouse move while dragging, from (lastX, lastY) to (x, y) in panel
// pixels; the first matching rule applies:
//   Ctrl + left   zoom:  Distance += |Distance*0.5| * (lastY - y) * 0.1,
//                        kept at or below NearestDistance
//   right         pan:   k = 0.002*Distance; PanX += (lastX - x)*k,
//                        PanY += (y - lastY)*k
//   Shift + left  roll:  RotZ += x - lastX
//   left          turn:  RotX += y - lastY, RotY += x - lastX
// Anything else leaves the camera alone. True when a rule applied.
bool ApplyMouseDrag(TCamera& camera, TMouseState state, int lastX, int lastY, int x, int y);

// The light's position from the three track bar positions (each * s * 0.1);
// w is kept.
std::array<float, 4> LightFromTrackBars(int x, int y, int z, float w);

}  // namespace vistrel
