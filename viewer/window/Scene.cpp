// The view: the frame its controls ask for, drawn by the scene library, and
// the camera the mouse moves.
#include "F_main.h"

#include <algorithm>

#include "ListBox.h"

#include <QCheckBox>
#include <QLabel>
#include <QSlider>

#include "Scene.h"
#include "SceneTextures.h"

namespace vistrel {

TCamera TMain::Camera() const {
    TCamera camera;
    camera.PanX = PanX;
    camera.PanY = PanY;
    camera.Distance = Distance;
    camera.RotX = RotX;
    camera.RotY = RotY;
    camera.RotZ = RotZ;
    return camera;
}

void TMain::SetCamera(const TCamera& camera) {
    PanX = camera.PanX;
    PanY = camera.PanY;
    Distance = camera.Distance;
    RotX = camera.RotX;
    RotY = camera.RotY;
    RotZ = camera.RotZ;
}

void TMain::FitCameraToModel() {
    if (!Model || Model->LODs.Empty()) return;
    const TP3dLOD& first = *Model->LODs[0];
    SetCamera(FitCamera(first.MinPos, first.MaxPos, Model->Offset2));
    ZoomRange = ZoomLimits(first.MinPos, first.MaxPos, Model->Offset2);
}

QString TMain::KeysText() {
    return QStringLiteral(
        "Wheel, + and -   zoom\n"
        "Arrow keys        turn by 15\u00b0 (with Shift: roll)\n"
        "Home, double-click   fit the model again\n"
        "B   back faces on or off\n"
        "W   wire of the edges on or off\n"
        "? or F1   these keys");
}

void TMain::OpenGlMouseWheel(TOpenGLVexPanel* sender, double notches, TOpenGLVexPanel::TShiftState shift) {
    Q_UNUSED(sender);
    Q_UNUSED(shift);
    TCamera camera = Camera();
    ZoomCamera(camera, notches, ZoomRange);
    SetCamera(camera);
    Repaint();
}

bool TMain::OpenGlKeyDown(TOpenGLVexPanel* sender, int key, const QString& text, TOpenGLVexPanel::TShiftState shift) {
    Q_UNUSED(sender);
    const bool help = key == Qt::Key_F1 || text == QLatin1String("?");
    if (KeysOverlay && KeysOverlay->isVisible()) {
        KeysOverlay->hide();
        if (help) return true;
    }
    TCamera camera = Camera();
    switch (key) {
    case Qt::Key_Plus:
    case Qt::Key_Equal: ZoomCamera(camera, 1, ZoomRange); break;
    case Qt::Key_Minus: ZoomCamera(camera, -1, ZoomRange); break;
    case Qt::Key_Left: (shift.Shift ? camera.RotZ : camera.RotY) -= kTurnStep; break;
    case Qt::Key_Right: (shift.Shift ? camera.RotZ : camera.RotY) += kTurnStep; break;
    case Qt::Key_Up: camera.RotX -= kTurnStep; break;
    case Qt::Key_Down: camera.RotX += kTurnStep; break;
    case Qt::Key_Home:
        FitCameraToModel();
        Repaint();
        return true;
    case Qt::Key_B: BackFaces = !BackFaces; break;
    case Qt::Key_W: WireOverlay = !WireOverlay; break;
    default:
        if (!help) return false;
        if (KeysOverlay) {
            KeysOverlay->adjustSize();
            KeysOverlay->move(8, 8);
            KeysOverlay->show();
            KeysOverlay->raise();
        }
        return true;
    }
    SetCamera(camera);
    Repaint();
    return true;
}

void TMain::OpenGlDoubleClick(TOpenGLVexPanel* sender) {
    Q_UNUSED(sender);
    FitCameraToModel();
    Repaint();
}

void TMain::OpenGlInit(TOpenGLVexPanel* sender) {
    Q_UNUSED(sender);
    InitSceneState(LightPosition.data());
    SetCamera(InitialCamera());
}

void TMain::OpenGlResize(TOpenGLVexPanel* sender) {
    const TOpenGLVexPanel* panel = sender ? sender : OpenGl;
    const qreal ratio = panel->devicePixelRatioF();
    SetProjection(qRound(panel->width() * ratio), qRound(panel->height() * ratio));
}

namespace {

// A picture alone, as large as the view allows with its sides' proportions,
// centred, over the background; its transparency blends.
void DrawPictureAlone(GLuint texture, int pictureWidth, int pictureHeight, int viewWidth, int viewHeight) {
    const double scale = std::min(double(viewWidth) / pictureWidth, double(viewHeight) / pictureHeight);
    const double w = pictureWidth * scale, h = pictureHeight * scale;
    const double x = (viewWidth - w) / 2, y = (viewHeight - h) / 2;
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, viewWidth, viewHeight, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBindTexture(GL_TEXTURE_2D, texture);
    glColor4f(1, 1, 1, 1);
    glBegin(GL_QUADS);  // the first stored row at the top
    glTexCoord2f(0, 0);
    glVertex2d(x, y);
    glTexCoord2f(1, 0);
    glVertex2d(x + w, y);
    glTexCoord2f(1, 1);
    glVertex2d(x + w, y + h);
    glTexCoord2f(0, 1);
    glVertex2d(x, y + h);
    glEnd();
    glBindTexture(GL_TEXTURE_2D, 0);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopAttrib();
}

}  // namespace

void TMain::OpenGlPaint(TOpenGLVexPanel* sender) {
    Q_UNUSED(sender);
    // a ground texture loaded before the view had its context gets its GL
    // texture on the first frame
    if (GroundTextureName == 0 && GroundTextureData && Decoded(*GroundTextureData))
        MakeGlTexture(*GroundTextureData, GroundTextureName);
    const TFrame frame = CurrentFrame();
    DrawFrame(frame);
    // a texture file given on the command line, until a model is loaded
    if (!frame.Lod && GroundShownAlone && GroundTextureName != 0 && GroundTextureData) {
        const qreal ratio = OpenGl->devicePixelRatioF();
        DrawPictureAlone(GroundTextureName, GroundTextureData->width, GroundTextureData->height,
                         qRound(OpenGl->width() * ratio), qRound(OpenGl->height() * ratio));
    }
}

TFrame TMain::CurrentFrame() {
    TFrame frame;
    frame.Lod = Model ? SelectedLod() : nullptr;
    frame.Selection = frame.Lod ? SelectedSelection() : nullptr;
    frame.Camera = Camera();
    frame.Light = LightPosition;
    frame.Transparent = CB_Transparent->isChecked();
    frame.Vertexes = CB_Vertexes->isChecked();
    frame.Ground = CB_Ground->isChecked();
    frame.Axis = CB_Axis->isChecked();
    frame.Opacity = static_cast<float>(TB_Transparency->value()) * 0.01f;
    frame.Texture = [this](int index) { return LodTexture(index); };
    frame.GroundTexture = GroundTextureName;
    frame.Batched = BatchedDrawing;
    frame.Cache = &DrawCache;
    frame.BothSides = BackFaces;
    frame.Wire = WireOverlay;
    return frame;
}

void TMain::OpenGlMouseDown(TOpenGLVexPanel* sender, Qt::MouseButton button, TOpenGLVexPanel::TShiftState shift, int x,
                            int y) {
    Q_UNUSED(sender);
    Q_UNUSED(button);
    Q_UNUSED(shift);
    if (KeysOverlay) KeysOverlay->hide();
    Dragging = true;
    LastMouseX = x;
    LastMouseY = y;
}

void TMain::OpenGlMouseMove(TOpenGLVexPanel* sender, Qt::MouseButton button, TOpenGLVexPanel::TShiftState shift, int x,
                            int y) {
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

void TMain::OpenGlMouseUp(TOpenGLVexPanel* sender, Qt::MouseButton button, TOpenGLVexPanel::TShiftState shift, int x,
                          int y) {
    Q_UNUSED(sender);
    Q_UNUSED(button);
    Q_UNUSED(shift);
    Q_UNUSED(x);
    Q_UNUSED(y);
    Dragging = false;
}

void TMain::TB_XChange() {
    LightPosition = LightFromTrackBars(TB_X->value(), TB_Y->value(), TB_Z->value(), LightPosition[3]);
    Repaint();
}

void TMain::TB_TransparencyChange() { Repaint(); }

}  // namespace vistrel
