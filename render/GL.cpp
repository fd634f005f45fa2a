#ifndef _WIN32
#define GL_GLEXT_PROTOTYPES  // before the first include of the GL headers
#endif
#include "GL.h"

namespace vistrel::gl {

void BindArrayBuffer(GLuint buffer) {
#ifdef _WIN32
    using TBindBuffer = void(APIENTRY*)(GLenum, GLuint);
    static const auto bind = reinterpret_cast<TBindBuffer>(wglGetProcAddress("glBindBuffer"));
    if (bind) bind(GL_ARRAY_BUFFER, buffer);
#else
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
#endif
}

}  // namespace vistrel::gl
