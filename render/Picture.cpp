#include "Picture.h"

#include "PngFile.h"
#include "Scene.h"
#include "SceneTextures.h"

#include <chrono>
#include <memory>

namespace vistrel {

namespace {

double Since(std::chrono::steady_clock::time_point& start) {
    const auto now = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(now - start).count();
    start = now;
    return seconds;
}

}  // namespace

TPicture RenderPicture(const TPictureRequest& request) {
    TPicture picture;
    auto clock = std::chrono::steady_clock::now();
    // Textures are decoded before there is a context: it may be in the making.
    std::vector<TPreparedTexture> prepared;
    if (!request.TextureRoots.empty()) {
        prepared =
            PrepareTextures(request.TextureRoots, request.Lod->Textures, request.LargestTextureSide, request.Listings);
        if (request.LargestTextureSide > 0)
            for (TPreparedTexture& texture : prepared)
                if (texture.record && Decoded(*texture.record)) HalveToFit(*texture.record, request.LargestTextureSide);
        picture.TextureProblems = TextureProblemsLine(request.Lod->Textures, prepared);
    }

    std::unique_ptr<THeadlessContext> own;
    THeadlessContext* context = request.Context ? request.Context() : nullptr;
    if (!context) {
        own = std::make_unique<THeadlessContext>(request.Width, request.Height);
        context = own.get();
    }
    if (!context->Ok()) {
        picture.Error = "no OpenGL context: " + context->Error();
        return picture;
    }

    TFrame frame;
    frame.Lod = request.Lod;
    frame.Selection = request.Selection;
    if (request.Camera) {
        frame.Camera = *request.Camera;
    } else {
        const TTightFit& fit = request.Fit;
        const bool otherSide =
            FacingArea(*request.Lod, fit.RotX, fit.RotY) < 0.5 * FacingArea(*request.Lod, fit.RotX, fit.RotY + 180.0f);
        frame.Camera = FrameTightly(*request.Lod, fit.RotX, otherSide ? fit.RotY + 180.0f : fit.RotY, fit.Fill,
                                    static_cast<float>(request.Width) / static_cast<float>(request.Height));
    }
    frame.Light = request.Light;
    frame.Transparent = request.Transparent;
    frame.Vertexes = request.Vertexes;
    frame.Ground = request.Ground;
    frame.Axis = request.Axis;
    frame.Opacity = request.Opacity;
    frame.LightMarker = request.LightMarker;
    frame.BothSides = request.BothSides;

    InitSceneState(InitialLightPosition.data());
    if (request.Background) {
        const auto& [r, g, b, a] = *request.Background;
        glClearColor(r, g, b, a);
    }
    std::vector<std::string> problems;
    const std::vector<GLuint> textures = UploadTextures(prepared, problems);
    frame.Texture = TableLookup(textures);
    picture.Times.Textures = Since(clock);

    SetProjection(request.Width, request.Height);
    DrawFrame(frame);
    glFinish();
    picture.Times.Draw = Since(clock);
    picture.Rgba = context->ReadRgba();
    picture.Times.ReadBack = Since(clock);
    if (!textures.empty()) glDeleteTextures(static_cast<GLsizei>(textures.size()), textures.data());

    if (!request.Output.empty() &&
        !WritePng(request.Output, request.Width, request.Height, picture.Rgba.data(), request.KeepAlpha, picture.Error))
        return picture;
    picture.Times.Png = Since(clock);
    picture.Ok = true;
    return picture;
}

const TP3dLOD* FinestLod(const TP3dModell& model) {
    const TP3dLOD* finest = nullptr;
    const TP3dLOD* firstWithFaces = nullptr;
    for (const TP3dLOD* lod : model.LODs) {
        if (lod->Polygons.Empty()) continue;
        if (!firstWithFaces) firstWithFaces = lod;
        if (lod->Resolution < 1000.0f && (!finest || lod->Resolution < finest->Resolution)) finest = lod;
    }
    return finest ? finest : firstWithFaces;
}

TPictureRequest ThumbnailRequest(const TP3dLOD& lod, int size, std::vector<std::string> textureRoots) {
    // the three-quarter view in degrees, and the share of the picture the
    // model may take; the light as the viewer's three track bars would put it
    constexpr TTightFit kView{25.0f, -140.0f, 0.92f};
    constexpr int kLight[3] = {-400, 600, 400};
    TPictureRequest request;
    request.Lod = &lod;
    request.Fit = kView;
    request.Light = LightFromTrackBars(kLight[0], kLight[1], kLight[2], InitialLightPosition[3]);
    request.LightMarker = false;
    request.Width = request.Height = size;
    request.TextureRoots = std::move(textureRoots);
    request.LargestTextureSide = size;
    request.Background = std::array<float, 4>{0, 0, 0, 0};
    request.KeepAlpha = true;
    return request;
}

}  // namespace vistrel
