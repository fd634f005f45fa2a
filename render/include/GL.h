// The one place that includes the platform's OpenGL headers and reaches the
// few entry points past OpenGL 1.1 that the scene uses (buffer binding, frame
// buffer objects). On Linux libGL and libOpenGL export them all; on Windows
// opengl32 stops at 1.1 and they are looked up in the current context.
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif
#include <GL/gl.h>
#include <GL/glext.h>  // enums past 1.1 (the entry points: GL.cpp)
#include <GL/glu.h>

namespace vistrel::gl {

// glBindBuffer(GL_ARRAY_BUFFER, buffer) of the current context.
void BindArrayBuffer(GLuint buffer);

}  // namespace vistrel::gl
