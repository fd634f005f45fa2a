// The view: GL state, projection, one frame of the chosen LOD with ground,
// axes, markers, selection and light, and the camera the mouse moves.
#include "F_main.h"

#include "ListBox.h"

#include <QCheckBox>
#include <QSlider>

#include <GL/gl.h>
#include <GL/glu.h>

namespace vistrel {

namespace {

// The ground and the axes reach 100 model units each way.
constexpr GLfloat kReach = 100.0f * WorldScale;

void DrawAxes()
{
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
void DrawGround()
{
    constexpr GLfloat r = kReach;
    constexpr GLfloat t = 5.0f;
    struct TCorner {
        GLfloat u, v, ny, x, z;
    };
    static constexpr TCorner corners[8] = {
        // upper face, normal up
        {0, 0, 1, -r, -r}, {t, 0, 1, r, -r}, {t, t, 1, r, r}, {0, t, 1, -r, r},
        // lower face, normal down
        {0, 0, -1, -r, -r}, {0, t, -1, -r, r}, {t, t, -1, r, r}, {t, 0, -1, r, -r},
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
void DrawSelectionFaces(const TRealSelection& selection, const TP3dLOD& lod)
{
    for (const APolygon* polygon : selection.Polygons) {
        if (!PolygonPositionsDrawable(*polygon, lod))
            continue;
        glBegin(PolygonMode(*polygon));
        for (int k = 0; k < polygon->VertexCount; ++k) {
            GLfloat position[3];
            MapModelPoint(*lod.Vertexes[static_cast<std::size_t>(polygon->Corners[k].VertexIndex)], position);
            glVertex3fv(position);
        }
        glEnd();
    }
}

void DrawLightMarker(const std::array<float, 4>& light)
{
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

TCamera TMain::Camera() const
{
    TCamera camera;
    camera.PanX = PanX;
    camera.PanY = PanY;
    camera.Distance = Distance;
    camera.RotX = RotX;
    camera.RotY = RotY;
    camera.RotZ = RotZ;
    return camera;
}

void TMain::SetCamera(const TCamera& camera)
{
    PanX = camera.PanX;
    PanY = camera.PanY;
    Distance = camera.Distance;
    RotX = camera.RotX;
    RotY = camera.RotY;
    RotZ = camera.RotZ;
}

void TMain::FitCameraToModel()
{
    if (!Model || Model->LODs.Empty())
        return;
    const TP3dLOD& first = *Model->LODs[0];
    SetCamera(FitCamera(first.MinPos, first.MaxPos, Model->Offset2));
}

void InitSceneState(const float* lightPosition)
{
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

void TMain::OpenGlInit(TOpenGLVexPanel* sender)
{
    Q_UNUSED(sender);
    InitSceneState(LightPosition.data());
    SetCamera(InitialCamera());
}

void TMain::OpenGlResize(TOpenGLVexPanel* sender)
{
    const TOpenGLVexPanel* panel = sender ? sender : OpenGl;
    const qreal ratio = panel->devicePixelRatioF();
    const int width = qRound(panel->width() * ratio);
    const int height = qRound(panel->height() * ratio);
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<GLdouble>(width) / (height < 1 ? 1 : height), 0.0001, 300.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void TMain::OpenGlPaint(TOpenGLVexPanel* sender)
{
    Q_UNUSED(sender);
    // Without a LOD to show the view shows its background alone, not the last
    // frame of a model that is gone.
    const TP3dLOD* lod = Model ? SelectedLod() : nullptr;
    if (!lod) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        return;
    }
    const GLfloat opacity = static_cast<GLfloat>(TB_Transparency->value()) * 0.01f;

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    // Camera: translate, then turn about x, z and y in this order.
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(PanX, PanY, Distance);
    glRotatef(RotX, 1, 0, 0);
    glRotatef(RotZ, 0, 0, 1);
    glRotatef(RotY, 0, 1, 0);
    // Placed after the camera, so the light turns with the model.
    glLightfv(GL_LIGHT1, GL_POSITION, LightPosition.data());

    glColor4f(0.8f, 0.8f, 0.0f, 1.0f);
    glBindTexture(GL_TEXTURE_2D, 0);
    if (CB_Axis->isChecked())
        DrawAxes();

    glBindTexture(GL_TEXTURE_2D, GroundTextureName);
    const bool transparent = CB_Transparent->isChecked();
    if (CB_Ground->isChecked() && !transparent) {
        glColor4f(1, 1, 1, 1);
        DrawGround();
    }

    glBindTexture(GL_TEXTURE_2D, 0);
    if (CB_Vertexes->isChecked()) {
        glColor4f(0, 0, 1, 1);
        DrawLodVertexMarkers(*lod, BatchedDrawing, DrawCache);
    }

    // Faces: added onto the picture with the chosen opacity and no depth
    // test, or opaque. This state holds until the next frame sets it again.
    if (transparent) {
        glColor4f(1, 1, 1, opacity);
        glDisable(GL_DEPTH_TEST);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    } else {
        glEnable(GL_DEPTH_TEST);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glColor4f(1, 1, 1, 1);
    }
    DrawLodFaces(*lod, [this](int index) { return LodTexture(index); }, BatchedDrawing, DrawCache);

    glBindTexture(GL_TEXTURE_2D, 0);
    if (const TRealSelection* selection = SelectedSelection()) {
        glColor4f(1, 0, 0, 1);
        DrawSelectionFaces(*selection, *lod);
        glColor4f(1, 0, 0, 1);
        for (const AVertex* vertex : selection->Vertexes)
            DrawVertexMarker(*vertex);
    }

    DrawLightMarker(LightPosition);
}

void TMain::OpenGlMouseDown(TOpenGLVexPanel* sender, Qt::MouseButton button, TOpenGLVexPanel::TShiftState shift,
                            int x, int y)
{
    Q_UNUSED(sender);
    Q_UNUSED(button);
    Q_UNUSED(shift);
    Dragging = true;
    LastMouseX = x;
    LastMouseY = y;
}

void TMain::OpenGlMouseMove(TOpenGLVexPanel* sender, Qt::MouseButton button, TOpenGLVexPanel::TShiftState shift,
                            int x, int y)
{
    Q_UNUSED(sender);
    Q_UNUSED(button);
    if (Dragging) {
        TCamera camera = Camera();
        TMouseState state;
        state.Shift = shift.Shift;
        state.Ctrl = shift.Ctrl;
        state.Left = shift.Left;
        state.Right = shift.Right;
        ApplyMouseDrag(camera, state, LastMouseX, LastMouseY, x, y);
        SetCamera(camera);
        LastMouseX = x;
        LastMouseY = y;
    }
    // Every move over the view makes a frame.
    Repaint();
}

void TMain::OpenGlMouseUp(TOpenGLVexPanel* sender, Qt::MouseButton button, TOpenGLVexPanel::TShiftState shift,
                          int x, int y)
{
    Q_UNUSED(sender);
    Q_UNUSED(button);
    Q_UNUSED(shift);
    Q_UNUSED(x);
    Q_UNUSED(y);
    Dragging = false;
}

void TMain::TB_XChange()
{
    LightPosition = LightFromTrackBars(TB_X->value(), TB_Y->value(), TB_Z->value(), LightPosition[3]);
    Repaint();
}

void TMain::TB_TransparencyChange()
{
    Repaint();
}

}  // namespace vistrel
