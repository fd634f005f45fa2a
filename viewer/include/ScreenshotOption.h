// vistrel --screenshot: renders one model file to a PNG without showing a
// window or asking anything, for documentation and scripts.
//
//   vistrel --screenshot OUT.png [--size WxH] [--lod N] [--selection NAME]
//           [--rotate X,Y,Z] [--light X,Y,Z] [--show LIST] [--opacity N]
//           [--data DIR] FILE
//
// The file is loaded as the viewer loads it, LOD N is shown (with the named
// selection in red), the camera is the one fitted after loading turned by the
// given degrees, the light is where the three light track bars put it (their
// positions at start-up unless given), the view's check boxes named in LIST
// are ticked ("transparent", "vertexes", "ground", "axis"), the opacity track
// bar is at N, and one frame of the view at the given size is written.
// The frame is drawn by the same scene library as the window's view, in a
// headless OpenGL context (EGL): no display server, window or platform
// plugin is needed.
//
// Exit status, as for p3dtool info: 0 the model was read completely and the
// picture written; 1 the reader reported a failure (partial model, unknown
// format); 2 the file could not be read, the arguments are wrong, or the
// picture could not be made or written. Both model formats are drawn.
#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

#include <array>

#include "ProgramExit.h"

namespace vistrel {

struct TScreenshotOptions {
    QString Output;                 // the PNG to write
    QSize Size{800, 600};           // of the view, in pixels
    int Lod = 0;                    // row of the LOD list
    QString Selection;              // empty: none
    std::array<float, 3> Rotate{};  // degrees added to RotX, RotY, RotZ
    bool HasLight = false;
    std::array<int, 3> Light{};  // positions of TB_X, TB_Y, TB_Z
    bool Transparent = false;    // the view's check boxes
    bool Vertexes = false;
    bool Ground = false;
    bool Axis = false;
    int Opacity = 20;  // TB_Transparency, 0 to 100
    bool HasDataDir = false;
    QString DataDir;  // the texture root (DataPath)
    QString File;     // the model
};

// True when the arguments (program name excluded) ask for a screenshot.
bool IsScreenshotCommand(const QStringList& arguments);
// True when they ask for the usage text (--help or -h first).
bool IsHelpCommand(const QStringList& arguments);
// The usage text of the program, both ways of running it.
QString UsageText();

// Parses the arguments (program name excluded); false with a reason.
bool ParseScreenshotArguments(const QStringList& arguments, TScreenshotOptions& options, QString& error);

// Renders and writes the picture in an OpenGL context of its own that needs
// no display server; no application object, window or platform plugin.
// Returns the exit status (kExitComplete, ...) when it fails before the picture is written;
// once it is written, ends the process with that status at once
// (LeaveWithoutTeardown).
int RunScreenshot(const TScreenshotOptions& options);

// The light track bars' positions at start-up.
inline constexpr std::array<int, 3> kInitialLightBars{0, 10, 0};

}  // namespace vistrel
