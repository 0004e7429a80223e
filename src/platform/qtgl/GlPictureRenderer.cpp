#include "platform/qtgl/GlPictureRenderer.h"

// GL_BGR is desktop GL's (1.2); the ES headers Qt may build on lack it.
#ifndef GL_BGR
#define GL_BGR 0x80E0
#endif
#ifndef GL_BGRA
#define GL_BGRA 0x80E1
#endif

namespace {

constexpr char kVertexShader[] = R"(
attribute vec2 position;
attribute vec2 texCoord;
varying vec2 v_texCoord;
void main() {
    v_texCoord = texCoord;
    gl_Position = vec4(position, 0.0, 1.0);
})";

constexpr char kFragmentShader[] = R"(
uniform sampler2D picture;
varying vec2 v_texCoord;
void main() {
    gl_FragColor = vec4(texture2D(picture, v_texCoord).rgb, 1.0);
})";

}  // namespace

GLuint GlPictureRenderer::Compile(GLenum kind, const char* source) {
    const GLuint shader = glCreateShader(kind);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint compiled = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled) return shader;
    glDeleteShader(shader);
    return 0;
}

bool GlPictureRenderer::Initialize() {
    initializeOpenGLFunctions();
    const GLuint vertex = Compile(GL_VERTEX_SHADER, kVertexShader);
    const GLuint fragment = Compile(GL_FRAGMENT_SHADER, kFragmentShader);
    GLint linked = 0;
    if (vertex && fragment) {
        m_program = glCreateProgram();
        glAttachShader(m_program, vertex);
        glAttachShader(m_program, fragment);
        glLinkProgram(m_program);
        glGetProgramiv(m_program, GL_LINK_STATUS, &linked);
    }
    // The program keeps what it needs of its shaders.
    if (vertex) glDeleteShader(vertex);
    if (fragment) glDeleteShader(fragment);
    if (!linked) {
        Destroy();
        return false;
    }
    m_nPositionAttribute = glGetAttribLocation(m_program, "position");
    m_nTexCoordAttribute = glGetAttribLocation(m_program, "texCoord");
    m_nPictureUniform = glGetUniformLocation(m_program, "picture");
    if (m_nPositionAttribute < 0 || m_nTexCoordAttribute < 0) {
        Destroy();
        return false;
    }
    return true;
}

void GlPictureRenderer::Destroy() {
    if (m_program) glDeleteProgram(m_program);
    m_program = 0;
}

GLuint GlPictureRenderer::CreateTexture(int width, int height) {
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    if (width <= 0 || height <= 0 || width > maxSize || height > maxSize) return 0;
    GLuint texture = 0;
    glGenTextures(1, &texture);
    if (texture == 0) return 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    // Linear filtering: the blit stretches the surface over the client area.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    while (glGetError() != GL_NO_ERROR) {
    }
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    if (glGetError() != GL_NO_ERROR) {
        glDeleteTextures(1, &texture);
        return 0;
    }
    return texture;
}

void GlPictureRenderer::DeleteTexture(GLuint texture) {
    glDeleteTextures(1, &texture);
}

void GlPictureRenderer::UploadBgr(GLuint texture, int surfaceHeight, const platform::RECT& dest,
                                  const uint8_t* bgr) {
    glBindTexture(GL_TEXTURE_2D, texture);
    // Rows of 3 × width bytes follow one another with no padding.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    // The bitmap's first row is the picture's bottom, and so is a texture's row 0.
    glTexSubImage2D(GL_TEXTURE_2D, 0, dest.left, surfaceHeight - dest.bottom,
                    dest.right - dest.left, dest.bottom - dest.top, GL_BGR, GL_UNSIGNED_BYTE, bgr);
}

void GlPictureRenderer::UploadTopDownBgra(GLuint texture, int width, int height, int32_t pitch,
                                          const uint8_t* bgra) {
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    for (int row = 0; row < height; ++row)
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, height - 1 - row, width, 1, GL_BGRA, GL_UNSIGNED_BYTE,
                        bgra + static_cast<ptrdiff_t>(row) * pitch);
}

void GlPictureRenderer::Draw(GLuint texture, int surfaceWidth, int surfaceHeight,
                             const platform::RECT& source, int viewportX, int viewportY,
                             int viewportWidth, int viewportHeight) {
    const float left = static_cast<float>(source.left) / surfaceWidth;
    const float right = static_cast<float>(source.right) / surfaceWidth;
    const float bottom = static_cast<float>(surfaceHeight - source.bottom) / surfaceHeight;
    const float top = static_cast<float>(surfaceHeight - source.top) / surfaceHeight;
    const GLfloat positions[] = {-1, -1, 1, -1, -1, 1, 1, 1};
    const GLfloat texCoords[] = {left, bottom, right, bottom, left, top, right, top};

    glViewport(viewportX, viewportY, viewportWidth, viewportHeight);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture);
    glUseProgram(m_program);
    glUniform1i(m_nPictureUniform, 0);
    const auto position = static_cast<GLuint>(m_nPositionAttribute),
               texCoord = static_cast<GLuint>(m_nTexCoordAttribute);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glEnableVertexAttribArray(position);
    glEnableVertexAttribArray(texCoord);
    glVertexAttribPointer(position, 2, GL_FLOAT, GL_FALSE, 0, positions);
    glVertexAttribPointer(texCoord, 2, GL_FLOAT, GL_FALSE, 0, texCoords);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glDisableVertexAttribArray(position);
    glDisableVertexAttribArray(texCoord);
    glUseProgram(0);
}
