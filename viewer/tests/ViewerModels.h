// Model files for the viewer's tests, written with the test builder into a
// temporary folder, and helpers to look at captured frames.
#pragma once

#include "P3dBuilder.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace vistrel::test {

// A LOD with one quad in the plane z = 0 over [x0, x1] × [y0, y1], facing +z:
// its corners go counter-clockwise seen from +z, its normals are stored
// pointing into the solid (the view turns them outward). The LOD's box is
// given separately so that the fitted camera does not depend on the quad.
// Selections: "face" (the quad and its four vertices) and "empty" (nothing).
inline BLod QuadLod(float x0, float x1, float y0, float y1, BVec3 minPos = {-3, -3, -3}, BVec3 maxPos = {3, 3, 3},
                    int16_t texture = -1) {
    BLod lod;
    lod.vertices = {{x0, y0, 0}, {x1, y0, 0}, {x1, y1, 0}, {x0, y1, 0}};
    lod.normals = {{0, 0, -1}, {0, 0, -1}, {0, 0, -1}, {0, 0, -1}};
    lod.uv = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};
    lod.vertexInfo = {0, 0, 0, 0};
    lod.unique = {0, 1, 2, 3};
    lod.link = {0, 1, 2, 3};
    BPolygon quad;
    quad.texture = texture;
    quad.corners = {0, 1, 2, 3};
    lod.polygons = {quad};
    BSelection face;
    face.name = "face";
    face.faces = {0};
    face.vertexes = {0, 1, 2, 3};
    BSelection empty;
    empty.name = "empty";
    lod.selections = {face, empty};
    lod.minPos = minPos;
    lod.maxPos = maxPos;
    lod.resolution = 1.0f;
    return lod;
}

// A LOD of a grid of n × n quads (and, every third cell, two triangles
// instead) over [-2, 2]², facing +z, with textures cycling over the indices
// -1, 0, 1 and 7 in runs of a few faces. Vertex markers and selections make
// use of all of it.
inline BLod GridLod(int n) {
    BLod lod;
    const float step = 4.0f / static_cast<float>(n);
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            const float x = -2.0f + step * static_cast<float>(i);
            const float y = -2.0f + step * static_cast<float>(j);
            // A gentle bulge gives the normals (and so the light) some play.
            const float z = 0.1f * static_cast<float>((i * 7 + j * 3) % 5) / 5.0f;
            lod.vertices.push_back({x, y, z});
            lod.normals.push_back(
                {0.1f * static_cast<float>(i % 3) - 0.1f, 0.1f * static_cast<float>(j % 3) - 0.1f, -1});
            lod.uv.push_back(
                {static_cast<float>(i) / static_cast<float>(n), static_cast<float>(j) / static_cast<float>(n)});
            lod.vertexInfo.push_back(0);
            lod.unique.push_back(static_cast<int16_t>(lod.unique.size()));
            lod.link.push_back(static_cast<int16_t>(lod.link.size()));
        }
    const int16_t textures[] = {-1, 0, 1, 7};
    int face = 0;
    BSelection part;
    part.name = "part";
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const auto at = [&](int di, int dj) { return static_cast<int16_t>((j + dj) * (n + 1) + i + di); };
            const int16_t texture = textures[(face / 5) % 4];
            if ((i + j) % 3 == 0) {
                BPolygon a, b;
                a.texture = b.texture = texture;
                a.corners = {at(0, 0), at(1, 0), at(1, 1)};
                b.corners = {at(0, 0), at(1, 1), at(0, 1)};
                lod.polygons.push_back(a);
                lod.polygons.push_back(b);
                face += 2;
            } else {
                BPolygon q;
                q.texture = texture;
                q.corners = {at(0, 0), at(1, 0), at(1, 1), at(0, 1)};
                if (i < n / 3 && j < n / 3) part.faces.push_back(static_cast<uint16_t>(lod.polygons.size()));
                lod.polygons.push_back(q);
                ++face;
            }
        }
    for (uint16_t v = 0; v < static_cast<uint16_t>(lod.vertices.size()); v += 7) part.vertexes.push_back(v);
    lod.selections = {part};
    lod.textures = {"data\\none_a.paa", "data\\none_b.paa"};
    lod.minPos = {-2, -2, 0};
    lod.maxPos = {2, 2, 0.1f};
    lod.resolution = 1.0f;
    return lod;
}

inline BModel ModelWith(std::vector<BLod> lods, float mass = 0) {
    BModel model;
    model.lods = std::move(lods);
    model.totalMass = mass;
    return model;
}

// A temporary folder that model files are written into.
class TModelFiles {
public:
    QString Path() const { return QDir::toNativeSeparators(QDir::cleanPath(dir_.path())); }
    QString File(const QString& name) const { return QDir::toNativeSeparators(QDir(dir_.path()).filePath(name)); }
    QString Write(const QString& name, const BModel& model) const { return WriteBytes(name, BuildModel(model)); }
    QString WriteBytes(const QString& name, const std::vector<uint8_t>& bytes) const {
        const QString path = File(name);
        WriteFile(QFile::encodeName(path).toStdString(), bytes);
        return path;
    }
    QString WriteText(const QString& name, const QByteArray& text) const {
        const QString path = File(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(text);
        return path;
    }

private:
    QTemporaryDir dir_;
};

// Colours of a frame, compared with a tolerance per channel.
inline bool Near(QRgb pixel, int red, int green, int blue, int tolerance = 6) {
    return std::abs(qRed(pixel) - red) <= tolerance && std::abs(qGreen(pixel) - green) <= tolerance &&
           std::abs(qBlue(pixel) - blue) <= tolerance;
}

// The clear colour (0.6, 0.8, 1.0).
inline bool IsBackground(QRgb pixel) { return Near(pixel, 153, 204, 255, 3); }

inline bool IsRed(QRgb pixel) { return qRed(pixel) > 100 && qGreen(pixel) < 40 && qBlue(pixel) < 40; }

inline int CountPixels(const QImage& image, const QRect& area, bool (*test)(QRgb)) {
    int count = 0;
    const QRect inside = area.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            if (test(image.pixel(x, y))) ++count;
    return count;
}

}  // namespace vistrel::test
