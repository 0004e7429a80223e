#pragma once

#include <QOpenGLFunctions>

#include "platform/DirectDraw.h"

// The GL work of the surface service: picture surfaces are textures, the 24-bit
// bottom-up rows go in with glTexSubImage2D, and a blit is one textured quad from a
// source rectangle to a viewport. Needs a current desktop GL context; allocates
// nothing per frame.
class GlPictureRenderer : protected QOpenGLFunctions {
public:
    GlPictureRenderer() = default;
    GlPictureRenderer(const GlPictureRenderer&) = delete;
    GlPictureRenderer& operator=(const GlPictureRenderer&) = delete;
    // The program goes with the context; call while it is current, before it goes.
    void Destroy();

    // Compiles the quad's shaders in the current context; false when it cannot.
    bool Initialize();
    bool Initialized() const { return m_program != 0; }

    // An RGBA texture of the size, its texels undefined; 0 on failure. Row 0 of a
    // texture is the surface's bottom row, as GL counts.
    GLuint CreateTexture(int width, int height);
    void DeleteTexture(GLuint texture);
    // Writes `rows` bottom-up rows of BGR bytes, `width` wide, over `dest` (top-down
    // surface coordinates) of a texture `surfaceHeight` rows high.
    void UploadBgr(GLuint texture, int surfaceHeight, const platform::RECT& dest,
                   const uint8_t* bgr);
    // Writes a top-down BGRA image over the whole texture (a surface's locked memory).
    void UploadTopDownBgra(GLuint texture, int width, int height, int32_t pitch,
                           const uint8_t* bgra);
    // Draws `source` of the texture (top-down surface coordinates) over the viewport
    // (GL's window coordinates: bottom-left origin, device pixels).
    void Draw(GLuint texture, int surfaceWidth, int surfaceHeight, const platform::RECT& source,
              int viewportX, int viewportY, int viewportWidth, int viewportHeight);

private:
    GLuint Compile(GLenum kind, const char* source);

    GLuint m_program = 0;
    GLint m_nPositionAttribute = -1;
    GLint m_nTexCoordAttribute = -1;
    GLint m_nPictureUniform = -1;
};
