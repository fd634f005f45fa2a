#include "Camera.h"

#include <cmath>
#include <numbers>

namespace vistrel {

TCamera InitialCamera()
{
    TCamera camera;
    camera.Distance = -1.0f;
    return camera;
}

TCamera FitCamera(const TVec3& minPos, const TVec3& maxPos, const TVec3& offset2)
{
    TCamera camera;
    camera.RotX = 10.0f;
    // Half extents, each rounded to float.
    const auto half = [](float min, float max, float offset) {
        return static_cast<float>((static_cast<double>(max) - min) * 0.5 + offset);
    };
    const float hx = half(minPos.X, maxPos.X, offset2.X);
    const float hy = half(minPos.Y, maxPos.Y, offset2.Y);
    const float hz = half(minPos.Z, maxPos.Z, offset2.Z);
    float r = hx > hy ? hx : hy;
    if (r < hz)
        r = hz;
    const double s = WorldScale;
    camera.PanX = static_cast<float>(offset2.X * s * 1.2);
    camera.PanY = static_cast<float>(-offset2.Y * s * 1.2);
    // Half the field of view is pi/8; the margin of 1.5 and the step of 0.1
    // keep the whole model in sight.
    camera.Distance = static_cast<float>(-(r / std::tan(std::numbers::pi / 8.0)) * s * 1.5 - 0.1);
    return camera;
}

bool ApplyMouseDrag(TCamera& camera, TMouseState state, int lastX, int lastY, int x, int y)
{
    if (state.Ctrl && state.Left) {
        const float step = std::fabs(camera.Distance * 0.5f) * static_cast<float>(lastY - y) * 0.1f;
        camera.Distance += step;
        if (!(camera.Distance <= NearestDistance))
            camera.Distance = NearestDistance;
        return true;
    }
    if (state.Right) {
        const float k = 0.002f * camera.Distance;
        camera.PanX += static_cast<float>(lastX - x) * k;
        camera.PanY += static_cast<float>(y - lastY) * k;
        return true;
    }
    if (state.Left && state.Shift) {
        camera.RotZ += static_cast<float>(x - lastX);
        return true;
    }
    if (state.Left) {
        camera.RotX += static_cast<float>(y - lastY);
        camera.RotY += static_cast<float>(x - lastX);
        return true;
    }
    return false;
}

std::array<float, 4> LightFromTrackBars(int x, int y, int z, float w)
{
    const auto place = [](int position) { return static_cast<float>(position * static_cast<double>(WorldScale) * 0.1); };
    return {place(x), place(y), place(z), w};
}

}  // namespace vistrel
