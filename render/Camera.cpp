#include "Camera.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <vector>

namespace vistrel {

TCamera InitialCamera() {
    TCamera camera;
    camera.Distance = -1.0f;
    return camera;
}

TCamera FitCamera(const TVec3& minPos, const TVec3& maxPos, const TVec3& offset2) {
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
    if (r < hz) r = hz;
    const double s = WorldScale;
    camera.PanX = static_cast<float>(offset2.X * s * 1.2);
    camera.PanY = static_cast<float>(-offset2.Y * s * 1.2);
    // Half the field of view is pi/8; the margin of 1.5 and the step of 0.1
    // keep the whole model in sight.
    camera.Distance = static_cast<float>(-(r / std::tan(std::numbers::pi / 8.0)) * s * 1.5 - 0.1);
    return camera;
}

TZoomLimits ZoomLimits(const TVec3& minPos, const TVec3& maxPos, const TVec3& offset2) {
    const TCamera fitted = FitCamera(minPos, maxPos, offset2);
    const double r = std::max({(static_cast<double>(maxPos.X) - minPos.X) * 0.5 + offset2.X,
                               (static_cast<double>(maxPos.Y) - minPos.Y) * 0.5 + offset2.Y,
                               (static_cast<double>(maxPos.Z) - minPos.Z) * 0.5 + offset2.Z});
    TZoomLimits limits;
    limits.Nearest = std::min(NearestDistance, static_cast<float>(-std::fabs(r) * WorldScale));
    limits.Farthest = std::min(limits.Nearest, fitted.Distance * kFarthestShare);
    return limits;
}

void ZoomCamera(TCamera& camera, double notches, const TZoomLimits& limits) {
    const double distance = camera.Distance * std::pow(1.0 - kZoomStep, notches);
    camera.Distance = static_cast<float>(
        std::clamp(distance, static_cast<double>(limits.Farthest), static_cast<double>(limits.Nearest)));
}

double FacingArea(const TP3dLOD& lod, float rotX, float rotY) {
    const double ax = rotX * std::numbers::pi / 180.0, ay = rotY * std::numbers::pi / 180.0;
    const double cx = std::cos(ax), sx = std::sin(ax), cy = std::cos(ay), sy = std::sin(ay);
    // x and y of a vertex turned as FrameTightly turns it
    auto turned = [&](int index) -> std::array<double, 2> {
        if (index < 0 || index >= lod.Vertexes.Count()) return {0, 0};
        const AVertex& v = *lod.Vertexes[static_cast<std::size_t>(index)];
        const double px = -v.X * WorldScale, py = v.Y * WorldScale, pz = v.Z * WorldScale;
        const double x1 = cy * px + sy * pz, z1 = -sy * px + cy * pz;
        return {x1, cx * py - sx * z1};
    };
    double area = 0;
    for (const APolygon* p : lod.Polygons) {
        if (p->VertexCount < 3 || p->VertexCount > 4) continue;
        // a clockwise outline on screen has a negative signed area
        double signedArea = 0;
        for (int k = 0; k < p->VertexCount; ++k) {
            const auto a = turned(p->Corners[k].VertexIndex);
            const auto b = turned(p->Corners[(k + 1) % p->VertexCount].VertexIndex);
            signedArea += a[0] * b[1] - b[0] * a[1];
        }
        if (std::isfinite(signedArea) && signedArea < 0) area -= signedArea / 2;
    }
    return area;
}

TCamera FrameTightly(const TP3dLOD& lod, float rotX, float rotY, float fill, float aspect) {
    TCamera camera;
    camera.RotX = rotX;
    camera.RotY = rotY;
    camera.Distance = -1.0f;
    if (lod.Vertexes.Empty()) return camera;
    // The vertices as the frame turns them: about y, then (z = 0) x, after
    // the model's mapping to GL (x mirrored, WorldScale).
    const double ax = rotX * std::numbers::pi / 180.0, ay = rotY * std::numbers::pi / 180.0;
    const double cx = std::cos(ax), sx = std::sin(ax), cy = std::cos(ay), sy = std::sin(ay);
    std::vector<std::array<double, 3>> turned;
    turned.reserve(lod.Vertexes.Count());
    for (const AVertex* v : lod.Vertexes) {
        const double px = -v->X * WorldScale, py = v->Y * WorldScale, pz = v->Z * WorldScale;
        const double x1 = cy * px + sy * pz, z1 = -sy * px + cy * pz;  // about y
        turned.push_back({x1, cx * py - sx * z1, sx * py + cx * z1});  // about x
    }
    // Centred on the turned box, then the nearest distance at which every
    // vertex lies within the share of the field of view (tan of half of 45
    // degrees, times the aspect in x); once more centred on what the
    // perspective makes of it.
    const double t = std::tan(std::numbers::pi / 8.0) * fill;
    double panX = 0, panY = 0, distance = 0;
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 0) {
            double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
            for (const auto& p : turned) {
                minX = std::min(minX, p[0]), maxX = std::max(maxX, p[0]);
                minY = std::min(minY, p[1]), maxY = std::max(maxY, p[1]);
            }
            panX = -(minX + maxX) / 2;
            panY = -(minY + maxY) / 2;
        } else {
            double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300, depth = 0;
            for (const auto& p : turned) {
                const double w = distance - p[2];
                minX = std::min(minX, (p[0] + panX) / w), maxX = std::max(maxX, (p[0] + panX) / w);
                minY = std::min(minY, (p[1] + panY) / w), maxY = std::max(maxY, (p[1] + panY) / w);
                depth += w;
            }
            depth /= static_cast<double>(turned.size());
            panX -= (minX + maxX) / 2 * depth;
            panY -= (minY + maxY) / 2 * depth;
        }
        distance = 0;
        for (const auto& p : turned)
            distance = std::max({distance, std::fabs(p[0] + panX) / (t * aspect) + p[2],
                                 std::fabs(p[1] + panY) / t + p[2], p[2] + 1e-3});
    }
    camera.PanX = static_cast<float>(panX);
    camera.PanY = static_cast<float>(panY);
    camera.Distance = static_cast<float>(-distance);
    return camera;
}

bool ApplyMouseDrag(TCamera& camera, TMouseState state, int lastX, int lastY, int x, int y) {
    if (state.Ctrl && state.Left) {
        const float step = std::fabs(camera.Distance * 0.5f) * static_cast<float>(lastY - y) * 0.1f;
        camera.Distance += step;
        if (!(camera.Distance <= NearestDistance)) camera.Distance = NearestDistance;
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

std::array<float, 4> LightFromTrackBars(int x, int y, int z, float w) {
    const auto place = [](int position) {
        return static_cast<float>(position * static_cast<double>(WorldScale) * 0.1);
    };
    return {place(x), place(y), place(z), w};
}

}  // namespace vistrel
