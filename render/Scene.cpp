#include "Scene.h"

namespace vistrel {

namespace {

// The ground and the axes reach 100 model units each way.
constexpr GLfloat kReach = 100.0f * WorldScale;

void DrawAxes() {
    glBegin(GL_LINES);
    glVertex3f(0, 0, -kReach);
    glVertex3f(0, 0, kReach);
    glVertex3f(-kReach, 0, 0);
    glVertex3f(kReach, 0, 0);
    glVertex3f(0, -kReach, 0);
    glVertex3f(0, kReach, 0);
    glEnd();
}

// Two quads in y = 0 wound opposite ways, so that with back faces culled the
// plane shows from above and from below. The texture repeats 5 times.
void DrawGround() {
    constexpr GLfloat r = kReach;
    constexpr GLfloat t = 5.0f;
    struct TCorner {
        GLfloat u, v, ny, x, z;
    };
    static constexpr TCorner corners[8] = {
        // upper face, normal up
        {0, 0, 1, -r, -r},
        {t, 0, 1, r, -r},
        {t, t, 1, r, r},
        {0, t, 1, -r, r},
        // lower face, normal down
        {0, 0, -1, -r, -r},
        {0, t, -1, -r, r},
        {t, t, -1, r, r},
        {t, 0, -1, r, -r},
    };
    glBegin(GL_QUADS);
    for (const TCorner& c : corners) {
        glTexCoord2f(c.u, c.v);
        glNormal3f(0, c.ny, 0);
        glVertex3f(c.x, 0, c.z);
    }
    glEnd();
}

// The selection's faces, positions only: they lie on the model's faces and
// show through GL_LEQUAL.
void DrawSelectionFaces(const TRealSelection& selection, const TP3dLOD& lod) {
    for (const APolygon* polygon : selection.Polygons) {
        if (!PolygonPositionsDrawable(*polygon, lod)) continue;
        glBegin(PolygonMode(*polygon));
        for (int k = 0; k < polygon->VertexCount; ++k) {
            GLfloat position[3];
            MapModelPoint(*lod.Vertexes[static_cast<std::size_t>(polygon->Corners[k].VertexIndex)], position);
            glVertex3fv(position);
        }
        glEnd();
    }
}

void DrawLightMarker(const std::array<float, 4>& light) {
    glBindTexture(GL_TEXTURE_2D, 0);
    glColor4f(1, 1, 0, 1);
    GLUquadric* quadric = gluNewQuadric();
    glPushMatrix();
    glTranslatef(light[0], light[1], light[2]);
    gluSphere(quadric, 0.01, 24, 12);
    glPopMatrix();
    gluDeleteQuadric(quadric);
}

}  // namespace

void InitSceneState(const float* lightPosition) {
    glShadeModel(GL_SMOOTH);
    glClearColor(0.6f, 0.8f, 1.0f, 1.0f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);

    // One light, GL_LIGHT1 (GL_LIGHT0 stays off).
    const GLfloat ambient[] = {0.5f, 0.5f, 0.5f, 1.0f};
    const GLfloat diffuse[] = {0.5f, 0.5f, 0.5f, 1.0f};
    const GLfloat specular[] = {1.0f, 1.0f, 1.0f, 1.0f};
    glLightfv(GL_LIGHT1, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT1, GL_SPECULAR, specular);
    glLightfv(GL_LIGHT1, GL_POSITION, lightPosition);
    glEnable(GL_LIGHT1);
    glEnable(GL_LIGHTING);

    glColorMaterial(GL_FRONT, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_NORMALIZE);

    // Front faces wind clockwise on screen.
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glFrontFace(GL_CW);
}

void SetProjection(int width, int height) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<GLdouble>(width) / (height < 1 ? 1 : height), 0.0001, 300.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void DrawFrame(const TFrame& frame) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // Without a LOD the view shows its background alone.
    if (!frame.Lod) return;
    const TP3dLOD& lod = *frame.Lod;

    // Camera: translate, then turn about x, z and y in this order.
    const TCamera& camera = frame.Camera;
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(camera.PanX, camera.PanY, camera.Distance);
    glRotatef(camera.RotX, 1, 0, 0);
    glRotatef(camera.RotZ, 0, 0, 1);
    glRotatef(camera.RotY, 0, 1, 0);
    // Placed after the camera, so the light turns with the model.
    glLightfv(GL_LIGHT1, GL_POSITION, frame.Light.data());

    glColor4f(0.8f, 0.8f, 0.0f, 1.0f);
    glBindTexture(GL_TEXTURE_2D, 0);
    if (frame.Axis) DrawAxes();

    glBindTexture(GL_TEXTURE_2D, frame.GroundTexture);
    if (frame.Ground && !frame.Transparent) {
        glColor4f(1, 1, 1, 1);
        DrawGround();
    }

    TLodDrawCache localCache;
    TLodDrawCache& cache = frame.Cache ? *frame.Cache : localCache;
    glBindTexture(GL_TEXTURE_2D, 0);
    if (frame.Vertexes) {
        glColor4f(0, 0, 1, 1);
        DrawLodVertexMarkers(lod, frame.Batched, cache);
    }

    // Faces: added onto the picture with the chosen opacity and no depth
    // test, or opaque. This state holds until the next frame sets it again.
    if (frame.Transparent) {
        glColor4f(1, 1, 1, frame.Opacity);
        glDisable(GL_DEPTH_TEST);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    } else {
        glEnable(GL_DEPTH_TEST);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glColor4f(1, 1, 1, 1);
    }
    // Back faces are culled, or drawn in the colour of their fronts: one-sided
    // lighting takes a corner's own normal on either side. (Two-sided
    // lighting would turn it towards the eye, and a back face inside a model,
    // facing the light there, would turn pure white.) The selection is drawn
    // on the same faces; everything else as without back faces.
    if (frame.BothSides) glDisable(GL_CULL_FACE);
    const TTextureLookup noTextures = [](int) { return GLuint{0}; };
    DrawLodFaces(lod, frame.Texture ? frame.Texture : noTextures, frame.Batched, cache);

    // The wire: the same faces as lines, unlit and untextured, a little
    // nearer than the faces so that the depth test keeps them on top.
    if (frame.Wire) {
        glPushAttrib(GL_ENABLE_BIT | GL_POLYGON_BIT | GL_CURRENT_BIT | GL_DEPTH_BUFFER_BIT);
        glDisable(GL_LIGHTING);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_BLEND);
        glDepthFunc(GL_LEQUAL);
        glEnable(GL_POLYGON_OFFSET_LINE);
        glPolygonOffset(-1.0f, -1.0f);
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        glColor4f(0.1f, 0.1f, 0.15f, 1.0f);
        DrawLodFaces(lod, noTextures, frame.Batched, cache);
        glPopAttrib();
    }

    glBindTexture(GL_TEXTURE_2D, 0);
    if (frame.Selection) {
        glColor4f(1, 0, 0, 1);
        DrawSelectionFaces(*frame.Selection, lod);
        glColor4f(1, 0, 0, 1);
        for (const AVertex* vertex : frame.Selection->Vertexes) DrawVertexMarker(*vertex);
    }
    glEnable(GL_CULL_FACE);

    if (frame.LightMarker) DrawLightMarker(frame.Light);
}

}  // namespace vistrel
