// Drawing a large LOD: the same 100 000-face LOD drawn with one glBegin/glEnd
// per polygon (a texture bind before each) and as vertex-array batches (one
// glDrawArrays per run of polygons sharing a texture and primitive), in one
// run, into an offscreen framebuffer of 800 × 600 with the viewer's GL state
// (lighting, blending, culling, depth test, texturing). Each frame is
// finished (glFinish) before the next, as a shown frame would be.
//
// The view's panel renders in a context that shares its objects with the
// window's (Qt composes the panel's picture through it), so the measurement
// that counts is made in such a context too. Some drivers (Mesa among them)
// treat a texture bind in a shared context as a state change even when the
// texture is already bound, which ends the immediate-mode batch there; the
// same LOD is also measured in a context of its own for comparison.
//
// Prints frames per second for both ways and their ratio. Needs a display for
// its OpenGL context; on a machine without one:
//   cmake --build build-bench -j2 --target bench_draw
//   xvfb-run -a -s "-screen 0 1280x1024x24" build-bench/bench/bench_draw [SECONDS]
#include "DrawBatches.h"
#include "Scene.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QSurfaceFormat>

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <vector>

namespace {

using namespace vistrel;

constexpr int kFaces = 100000;
constexpr int kWidth = 800;
constexpr int kHeight = 600;
constexpr int kTextures = 5;

// A rolling surface of quads, with every fifth cell split into two
// triangles, textures changing every 48 faces (some faces untextured), as a
// model's faces come grouped by texture.
void BuildLod(TP3dLOD& lod) {
    constexpr int kColumns = 320;
    const int rows = kFaces / kColumns + 2;
    for (int j = 0; j <= rows; ++j)
        for (int i = 0; i <= kColumns; ++i) {
            const float x = (static_cast<float>(i) - kColumns / 2.0f) * 0.1f;
            const float y = (static_cast<float>(j) - static_cast<float>(rows) / 2.0f) * 0.1f;
            const float z = 0.4f * std::sin(x * 0.7f) * std::cos(y * 0.5f);
            lod.Vertexes.Add(new AVertex{x, y, z, 0});
            const float nx = -0.28f * std::cos(x * 0.7f) * std::cos(y * 0.5f);
            const float ny = 0.2f * std::sin(x * 0.7f) * std::sin(y * 0.5f);
            const float length = std::sqrt(nx * nx + ny * ny + 1.0f);
            // Stored pointing into the solid, as the files hold them.
            lod.Normals.Add(new ANormal{nx / length, ny / length, -1.0f / length});
        }
    const auto index = [&](int i, int j) { return j * (kColumns + 1) + i; };
    int faces = 0;
    for (int j = 0; j < rows && faces < kFaces; ++j)
        for (int i = 0; i < kColumns && faces < kFaces; ++i) {
            const auto texture = static_cast<int16_t>((faces / 48) % (kTextures + 1) - 1);
            const int corners[4] = {index(i, j), index(i + 1, j), index(i + 1, j + 1), index(i, j + 1)};
            const float u[4] = {0, 1, 1, 0}, v[4] = {1, 1, 0, 0};
            const auto add = [&](std::initializer_list<int> which) {
                auto* polygon = new APolygon;
                polygon->TextureIndex = texture;
                for (int k : which) {
                    ACorner& corner = polygon->Corners[polygon->VertexCount++];
                    corner.VertexIndex = corner.NormalIndex = corners[k];
                    corner.U = u[k];
                    corner.V = v[k];
                }
                lod.Polygons.Add(polygon);
                ++faces;
            };
            if ((i + j) % 5 == 0) {
                add({0, 1, 2});
                if (faces < kFaces) add({0, 2, 3});
            } else {
                add({0, 1, 2, 3});
            }
        }
}

std::vector<GLuint> MakeTextures() {
    std::vector<GLuint> names(kTextures);
    glGenTextures(kTextures, names.data());
    std::vector<unsigned char> pixels(64 * 64 * 4);
    for (int t = 0; t < kTextures; ++t) {
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                unsigned char* p = &pixels[static_cast<std::size_t>((y * 64 + x) * 4)];
                const bool check = ((x / 8) + (y / 8) + t) % 2 == 0;
                p[0] = static_cast<unsigned char>(check ? 200 : 60 + 30 * t);
                p[1] = static_cast<unsigned char>(check ? 180 : 90);
                p[2] = static_cast<unsigned char>(check ? 120 : 40 + 20 * t);
                p[3] = 255;
            }
        glBindTexture(GL_TEXTURE_2D, names[static_cast<std::size_t>(t)]);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        gluBuild2DMipmaps(GL_TEXTURE_2D, 4, 64, 64, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    }
    return names;
}

// The viewer's GL state and a camera that shows the whole surface.
void SetUpScene() {
    const GLfloat light[] = {0.0f, 0.05f, 0.0f, 1.0f};  // where start-up puts it
    InitSceneState(light);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glViewport(0, 0, kWidth, kHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<double>(kWidth) / kHeight, 0.0001, 300.0);
    glMatrixMode(GL_MODELVIEW);
}

void DrawFrame(const TP3dLOD& lod, const TTextureLookup& texture, bool batched, TLodDrawCache& cache) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glTranslatef(0, 0, -1.9f);
    glRotatef(35, 1, 0, 0);
    const GLfloat light[] = {0, 1.5f, 1, 1};
    glLightfv(GL_LIGHT1, GL_POSITION, light);
    glColor4f(1, 1, 1, 1);
    DrawLodFaces(lod, texture, batched, cache);
    glBindTexture(GL_TEXTURE_2D, 0);
    glFinish();
}

struct TResult {
    int Frames = 0;
    double Seconds = 0;
    double PerSecond() const { return Seconds > 0 ? Frames / Seconds : 0; }
};

TResult Measure(const TP3dLOD& lod, const TTextureLookup& texture, bool batched, TLodDrawCache& cache, double seconds) {
    // One frame beforehand: the batched way builds its arrays there, once
    // per LOD, as the viewer does on the first frame of a LOD.
    DrawFrame(lod, texture, batched, cache);
    TResult result;
    QElapsedTimer clock;
    clock.start();
    while (result.Frames < 3 || clock.nsecsElapsed() < static_cast<qint64>(seconds * 1e9)) {
        DrawFrame(lod, texture, batched, cache);
        ++result.Frames;
    }
    result.Seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    return result;
}

// Both ways in one context; false when there is no context.
bool RunIn(bool shared, double seconds) {
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setDepthBufferSize(24);
    QOpenGLContext other;
    other.setFormat(format);
    QOpenGLContext context;
    context.setFormat(format);
    if (shared) {
        if (!other.create()) return false;
        context.setShareContext(&other);
    }
    QOffscreenSurface surface;
    surface.setFormat(format);
    surface.create();
    if (!context.create() || !context.makeCurrent(&surface)) return false;
    bool done = false;
    {
        QOpenGLFramebufferObject target(kWidth, kHeight, QOpenGLFramebufferObject::Depth);
        target.bind();
        TP3dLOD lod;
        BuildLod(lod);
        SetUpScene();
        const std::vector<GLuint> textures = MakeTextures();
        const TTextureLookup texture = [&](int index) {
            return index >= 0 && index < kTextures ? textures[static_cast<std::size_t>(index)] : 0u;
        };
        TLodDrawCache cache;
        const TResult immediate = Measure(lod, texture, false, cache, seconds);
        const TResult batched = Measure(lod, texture, true, cache, seconds);
        std::printf("%s\n", shared ? "context sharing its objects (as the view's panel):" : "context of its own:");
        std::printf("  immediate (glBegin/glEnd per polygon): %8.2f frames/s (%d frames in %.2f s)\n",
                    immediate.PerSecond(), immediate.Frames, immediate.Seconds);
        std::printf("  batched (vertex arrays per run):       %8.2f frames/s (%d frames in %.2f s)\n",
                    batched.PerSecond(), batched.Frames, batched.Seconds);
        std::printf("  batched / immediate: %.2f x\n",
                    immediate.PerSecond() > 0 ? batched.PerSecond() / immediate.PerSecond() : 0.0);
        glDeleteTextures(kTextures, textures.data());
        target.release();
        done = true;
    }
    context.doneCurrent();
    return done;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    QGuiApplication app(argc, argv);
    {
        // What is drawn, and how long the arrays take to build (once per LOD).
        QOpenGLContext context;
        QOffscreenSurface surface;
        surface.create();
        if (!context.create() || !context.makeCurrent(&surface)) {
            std::fprintf(stderr, "bench_draw: no OpenGL context (is there a display? try xvfb-run)\n");
            return 1;
        }
        std::printf("GL_RENDERER: %s\nGL_VERSION: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)),
                    reinterpret_cast<const char*>(glGetString(GL_VERSION)));
        context.doneCurrent();
        TP3dLOD lod;
        BuildLod(lod);
        TLodDrawCache cache;
        QElapsedTimer build;
        build.start();
        cache.Prepare(lod);
        std::printf("LOD: %d faces, %d vertices; %d runs of one texture and primitive; arrays built in %.1f ms\n",
                    lod.Polygons.Count(), lod.Vertexes.Count(), static_cast<int>(cache.Runs.size()),
                    static_cast<double>(build.nsecsElapsed()) / 1e6);
    }
    if (!RunIn(true, seconds) || !RunIn(false, seconds)) {
        std::fprintf(stderr, "bench_draw: no OpenGL context\n");
        return 1;
    }
    return 0;
}
