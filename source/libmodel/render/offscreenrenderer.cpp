#include "render/offscreenrenderer.h"

#include <QDir>
#include <QGuiApplication>
#include <QMatrix4x4>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <QOpenGLFramebufferObject>
#include <QOpenGLShaderProgram>
#include <QOpenGLTexture>
#include <QScreen>
#include <QStandardPaths>
#include <QtDebug>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace Model {

namespace {

// In shader family order: pencil, marker, brush, kneaded, rubber and vinyl eraser.
const std::array<const char *, 6> SoftnessCurveFiles = {
    "SoftnessCurve-pencil.png",       "SoftnessCurve-marker.png",
    "SoftnessCurve-brush.png",        "SoftnessCurve-eraserKneaded.png",
    "SoftnessCurve-eraserRubber.png", "SoftnessCurve-eraserVinyl.png",
};

const char PaperTextureFile[] = "KLtexture.png";

// The side of the small framebuffers, which serve every render of a part no
// larger than them: the renders of a drawing's pieces and of a stroke's
// segments as it is drawn.
constexpr int SmallSide = 512;

int nextPowerOfTwo(int value)
{
    int power = 1;
    while (power < value && power < (1 << 30))
        power <<= 1;
    return power;
}

// The framebuffer drawn into and the one it is resolved into for reading
// when it is multisampled (none when it is read itself); none when they could
// not be made.
struct FramebufferPair
{
    std::unique_ptr<QOpenGLFramebufferObject> draw;
    std::unique_ptr<QOpenGLFramebufferObject> read;

    QSize size() const { return draw ? draw->size() : QSize(); }
    QOpenGLFramebufferObject *readable() const { return read ? read.get() : draw.get(); }
};

// The softness of an edge is looked up at a level chosen from how its
// coordinates change across each 2x2 group of pixels, and the groups begin at
// the framebuffer's even pixels, counted from its bottom row: its sides are
// even and every tile begins at an even pixel of the paper, so that each
// pixel falls in the group it falls in for any other render.
QSize evenSides(QSize size)
{
    return QSize(size.width() + (size.width() & 1), size.height() + (size.height() & 1));
}

// Framebuffers of size, or halved until the driver takes them; sides rounded
// up to powers of two first when the driver needs them so, and to even. Multisampled, a
// framebuffer of four samples with a depth attachment and one it is resolved
// into; otherwise one framebuffer of one sample.
FramebufferPair createFramebuffers(QSize size, bool powersOfTwo, bool multisampled = true)
{
    if (powersOfTwo)
        size = QSize(nextPowerOfTwo(size.width()), nextPowerOfTwo(size.height()));

    QOpenGLFramebufferObjectFormat drawFormat;
    drawFormat.setAttachment(QOpenGLFramebufferObject::Depth);
    drawFormat.setSamples(4);
    // The same format as the read framebuffer, so that resolving is a plain blit.
    drawFormat.setInternalTextureFormat(GL_R8);

    const auto readFramebuffer = [](QSize side) {
        return std::make_unique<QOpenGLFramebufferObject>(side, QOpenGLFramebufferObject::NoAttachment, GL_TEXTURE_2D,
                                                          GL_R8);
    };

    FramebufferPair framebuffers;
    for (;;) {
        const QSize sides = evenSides(size);
        if (multisampled) {
            framebuffers.draw = std::make_unique<QOpenGLFramebufferObject>(sides, drawFormat);
            framebuffers.read = readFramebuffer(sides);
        } else {
            framebuffers.draw = readFramebuffer(sides);
        }
        if (framebuffers.draw->isValid() && (!framebuffers.read || framebuffers.read->isValid()))
            break;
        framebuffers = {};
        // Halving rounds (QSize /= 2 gives 1 for 1), so 2x2 is the last try.
        if (size.width() <= 1 && size.height() <= 1)
            return {};
        size /= 2;
        size = size.expandedTo(QSize(1, 1));
    }
    return framebuffers;
}

} // namespace

class OffscreenRendererPrivate
{
public:
    int m_posAttr = -1;
    int m_colAttr = -1;
    int m_typeAttr = -1;

    int m_projectionUniform = -1;
    int m_transformUniform = -1;
    int m_renderScaleUniform = -1;
    int m_featherUniform = -1;
    int m_penTypeUniform = -1;
    int m_curveSoftnessUniform = -1;
    int m_paperTextureUniform = -1;
    int m_paperTextureOffsetUniform = -1;
    int m_paperTextureSizeUniform = -1;

    std::unique_ptr<QOpenGLShaderProgram> m_program;
    std::unique_ptr<QOffscreenSurface> m_surface;
    // Indexed by shader family; an entry stays null when its image failed to load.
    std::vector<std::unique_ptr<QOpenGLTexture>> m_softnessTextures;
    std::unique_ptr<QOpenGLTexture> m_paperTexture;
    // Those of size(), and the small ones. The driver's work for a clear, a
    // draw, a resolve and a read-back grows with the framebuffer bound, not
    // only with the part of it used (a software rasteriser walks all of its
    // tiles each time): through a frame-sized framebuffer, the render of a
    // piece of a few hundred pixels would cost as if it covered the frame.
    // With multisampling off, every sample of a pixel holds the value drawn
    // at its centre, and resolving them gives that value back: the small
    // ones then have one sample and are read as drawn. A software rasteriser
    // spends more on the resolve of a piece than on drawing it.
    FramebufferPair m_framebuffers;
    FramebufferPair m_smallFramebuffers;
    // The side of the square that the projection spans: the widest viewport
    // of a power of two that the driver takes. Every tile of a target that
    // fits in it is drawn through the same projection and transform, its
    // place given by the viewport alone, so that a vertex lands on the very
    // same fraction of a pixel in every tile and every part of the target.
    int m_extent = 0;
    // A child of the renderer; deleted explicitly so that the GL objects above
    // go first, while it is still current.
    QOpenGLContext *m_context = nullptr;

    OffscreenRenderer::Fallbacks m_forcedFallbacks;
    OffscreenRenderer::Fallbacks m_activeFallbacks;
    // True once the program linked: only then is a render attempted.
    bool m_ready = false;
};

OffscreenRenderer *OffscreenRenderer::instance()
{
    // Never deleted: the renderer lives until the process ends, and its
    // context must not be torn down after the application object is gone.
    static OffscreenRenderer *const renderer = new OffscreenRenderer;
    return renderer;
}

OffscreenRenderer::OffscreenRenderer()
    : d(std::make_unique<OffscreenRendererPrivate>())
{
}

OffscreenRenderer::~OffscreenRenderer()
{
    releaseResources();
}

void OffscreenRenderer::setForcedFallbacks(Fallbacks fallbacks)
{
    d->m_forcedFallbacks = fallbacks;
}

OffscreenRenderer::Fallbacks OffscreenRenderer::activeFallbacks() const
{
    return d->m_activeFallbacks;
}

void OffscreenRenderer::releaseResources()
{
    if (!d->m_context)
        return;
    if (d->m_surface)
        d->m_context->makeCurrent(d->m_surface.get());
    d->m_framebuffers = {};
    d->m_smallFramebuffers = {};
    d->m_extent = 0;
    d->m_softnessTextures.clear();
    d->m_paperTexture.reset();
    d->m_program.reset();
    d->m_context->doneCurrent();
    delete d->m_context;
    d->m_context = nullptr;
    d->m_surface.reset();
    d->m_ready = false;
}

void OffscreenRenderer::chooseSoftwareRasterizerThreads()
{
    if (!qEnvironmentVariableIsSet("LP_NUM_THREADS"))
        qputenv("LP_NUM_THREADS", "0");
}

void OffscreenRenderer::initialize(QSize size)
{
    chooseSoftwareRasterizerThreads();
    releaseResources();

    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        qWarning("OffscreenRenderer: OpenGL needs a QGuiApplication; nothing will be rendered");
        return;
    }

    d->m_context = new QOpenGLContext(this);
    if (!d->m_context->create()) {
        qWarning("OffscreenRenderer: cannot create an OpenGL context; nothing will be rendered");
        releaseResources();
        return;
    }
    d->m_surface = std::make_unique<QOffscreenSurface>(QGuiApplication::primaryScreen());
    d->m_surface->setFormat(d->m_context->format());
    d->m_surface->create();
    if (!d->m_surface->isValid() || !d->m_context->makeCurrent(d->m_surface.get())) {
        qWarning("OffscreenRenderer: cannot make the OpenGL context current; nothing will be rendered");
        releaseResources();
        return;
    }
    initializeOpenGLFunctions();

    d->m_activeFallbacks.noOneDimensionalTextures = d->m_forcedFallbacks.noOneDimensionalTextures
        || !QOpenGLTexture::hasFeature(QOpenGLTexture::Texture1D);
    d->m_activeFallbacks.noNonPowerOfTwoTextures = d->m_forcedFallbacks.noNonPowerOfTwoTextures
        || !d->m_context->hasExtension(QByteArrayLiteral("GL_ARB_texture_non_power_of_two"));
    const bool oneDimensional = !d->m_activeFallbacks.noOneDimensionalTextures;

    for (const char *file : SoftnessCurveFiles) {
        const QString name = QString::fromLatin1(file);
        QImage image = loadTexture(name);
        if (image.isNull()) {
            qWarning() << "OffscreenRenderer: cannot load the softness curve" << name;
            d->m_softnessTextures.push_back(nullptr);
            continue;
        }
        // Only the first row is a curve, whatever the file's height.
        image = image.copy(0, 0, image.width(), 1).convertToFormat(QImage::Format_RGBA8888);
        auto texture = std::make_unique<QOpenGLTexture>(oneDimensional ? QOpenGLTexture::Target1D
                                                                       : QOpenGLTexture::Target2D);
        texture->setFormat(QOpenGLTexture::RGBA8_UNorm);
        if (oneDimensional)
            texture->setSize(image.width());
        else
            texture->setSize(image.width(), 1);
        texture->setMipLevels(texture->maximumMipLevels());
        texture->allocateStorage(QOpenGLTexture::RGBA, QOpenGLTexture::UInt8);
        texture->setData(0, QOpenGLTexture::RGBA, QOpenGLTexture::UInt8, image.constBits());
        texture->generateMipMaps();
        texture->setMinMagFilters(QOpenGLTexture::LinearMipMapLinear, QOpenGLTexture::Linear);
        texture->setWrapMode(QOpenGLTexture::ClampToEdge);
        d->m_softnessTextures.push_back(std::move(texture));
    }

    const QImage paper = loadTexture(QString::fromLatin1(PaperTextureFile)).convertToFormat(QImage::Format_RGBA8888);
    if (paper.isNull()) {
        qWarning() << "OffscreenRenderer: cannot load the paper texture" << PaperTextureFile;
    } else {
        d->m_paperTexture = std::make_unique<QOpenGLTexture>(QOpenGLTexture::Target2D);
        d->m_paperTexture->setFormat(QOpenGLTexture::RGBA8_UNorm);
        d->m_paperTexture->setSize(paper.width(), paper.height());
        d->m_paperTexture->setMipLevels(1);
        d->m_paperTexture->allocateStorage(QOpenGLTexture::RGBA, QOpenGLTexture::UInt8);
        d->m_paperTexture->setData(0, QOpenGLTexture::RGBA, QOpenGLTexture::UInt8, paper.constBits());
        d->m_paperTexture->setMinMagFilters(QOpenGLTexture::Linear, QOpenGLTexture::Linear);
        d->m_paperTexture->setWrapMode(QOpenGLTexture::Repeat);
    }

    GLint viewportSides[2] = {0, 0};
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewportSides);
    d->m_extent = 1;
    while (d->m_extent <= std::min(viewportSides[0], viewportSides[1]) / 2 && d->m_extent < (1 << 30))
        d->m_extent *= 2;

    // Multisampling stays off: the fragment program anti-aliases the outline
    // itself, and GL_MAX keeps overlapping triangles of one render from adding up.
    glDisable(GL_MULTISAMPLE);
    // OpenGL ES has no switch for it: its multisampled framebuffers always
    // rasterise by sample.
    const bool multisamplingOff = !d->m_context->isOpenGLES() && !glIsEnabled(GL_MULTISAMPLE);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glEnable(GL_BLEND);
    glBlendEquation(GL_MAX);

    d->m_program = std::make_unique<QOpenGLShaderProgram>();
    const QString fragmentFile = oneDimensional ? QStringLiteral(":/shaders/anisotropic_scale.frag")
                                                : QStringLiteral(":/shaders/anisotropic_scale_no_1D_textures.frag");
    if (!d->m_program->addShaderFromSourceFile(QOpenGLShader::Vertex, QStringLiteral(":/shaders/anisotropic_scale.vert"))) {
        qWarning().noquote() << "OffscreenRenderer: the vertex program does not compile:" << d->m_program->log();
        return;
    }
    if (!d->m_program->addShaderFromSourceFile(QOpenGLShader::Fragment, fragmentFile)) {
        qWarning().noquote() << "OffscreenRenderer: the fragment program" << fragmentFile
                             << "does not compile:" << d->m_program->log();
        return;
    }
    if (!d->m_program->link()) {
        qWarning().noquote() << "OffscreenRenderer: the shader program does not link:" << d->m_program->log();
        return;
    }

    QOpenGLShaderProgram &program = *d->m_program;
    d->m_posAttr = program.attributeLocation("posAttr");
    d->m_colAttr = program.attributeLocation("colAttr");
    d->m_typeAttr = program.attributeLocation("typeAttr");
    d->m_projectionUniform = program.uniformLocation("projection");
    d->m_transformUniform = program.uniformLocation("transform");
    d->m_renderScaleUniform = program.uniformLocation("renderScale");
    d->m_featherUniform = program.uniformLocation("feather");
    d->m_penTypeUniform = program.uniformLocation("pen_type");
    d->m_curveSoftnessUniform = program.uniformLocation("curve_softness");
    d->m_paperTextureUniform = program.uniformLocation("paper_texture");
    d->m_paperTextureOffsetUniform = program.uniformLocation("paper_texture_offset");
    d->m_paperTextureSizeUniform = program.uniformLocation("paper_texture_size");
    if (d->m_posAttr < 0 || d->m_colAttr < 0 || d->m_typeAttr < 0) {
        qWarning("OffscreenRenderer: the vertex program lacks one of its attributes");
        return;
    }
    d->m_ready = true;

    d->m_smallFramebuffers = createFramebuffers(QSize(SmallSide, SmallSide), d->m_activeFallbacks.noNonPowerOfTwoTextures,
                                                !multisamplingOff);
    if (size.isValid())
        setSize(size);
}

void OffscreenRenderer::setSize(QSize size)
{
    if (!size.isValid() || size.isEmpty())
        return;
    if (!d->m_ready) {
        qWarning("OffscreenRenderer: setSize before a successful initialize is ignored");
        return;
    }
    if (QOpenGLContext::currentContext() != d->m_context)
        d->m_context->makeCurrent(d->m_surface.get());
    // The old ones go first, so that both never take memory at once.
    d->m_framebuffers = {};
    d->m_framebuffers = createFramebuffers(size, d->m_activeFallbacks.noNonPowerOfTwoTextures);
    if (!d->m_framebuffers.draw)
        qWarning("OffscreenRenderer: no framebuffer size down to 1x1 works; nothing will be rendered");
}

QSize OffscreenRenderer::size() const
{
    return d->m_framebuffers.size();
}

bool OffscreenRenderer::renderPen(QImage &target, int subType, QPoint paperOffset, float renderScale, QRect rect,
                                  const QTransform &transform, const QList<float> &positions,
                                  const QList<float> &attributes, const QList<float> &kinds)
{
    return render(target, subType, paperOffset, renderScale, rect, transform, positions, attributes, kinds);
}

bool OffscreenRenderer::renderEraser(QImage &target, int subType, QPoint paperOffset, float renderScale, QRect rect,
                                     const QTransform &transform, const QList<float> &positions,
                                     const QList<float> &attributes, const QList<float> &kinds)
{
    return render(target, subType + 3, paperOffset, renderScale, rect, transform, positions, attributes, kinds);
}

bool OffscreenRenderer::render(QImage &target, int family, QPoint paperOffset, float renderScale, QRect rect,
                               const QTransform &transform, const QList<float> &positions,
                               const QList<float> &attributes, const QList<float> &kinds)
{
    if (!d->m_ready || !d->m_framebuffers.draw)
        return false;
    // The feather and the paper coordinates are scaled by it.
    if (!(renderScale > 0.0f) || !std::isfinite(renderScale))
        return false;
    if (target.depth() != 8)
        return false;
    const QRect area = rect & target.rect();
    if (area.isEmpty())
        return false;

    if (QOpenGLContext::currentContext() != d->m_context)
        d->m_context->makeCurrent(d->m_surface.get());

    // Never read past the shortest list, and draw whole triangles only.
    qsizetype vertices = std::min({positions.size() / 4, attributes.size() / 2, kinds.size() / 3});
    vertices -= vertices % 3;

    family = std::clamp(family, 0, int(SoftnessCurveFiles.size()) - 1);
    QOpenGLShaderProgram &program = *d->m_program;
    program.bind();
    if (family < int(d->m_softnessTextures.size()) && d->m_softnessTextures[family])
        d->m_softnessTextures[family]->bind(0);
    if (d->m_paperTexture)
        d->m_paperTexture->bind(1);
    program.setUniformValue(d->m_curveSoftnessUniform, 0);
    program.setUniformValue(d->m_paperTextureUniform, 1);
    glBlendEquation(GL_MAX);

    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glVertexAttribPointer(GLuint(d->m_posAttr), 4, GL_FLOAT, GL_FALSE, 0, positions.constData());
    glVertexAttribPointer(GLuint(d->m_colAttr), 2, GL_FLOAT, GL_FALSE, 0, attributes.constData());
    glVertexAttribPointer(GLuint(d->m_typeAttr), 3, GL_FLOAT, GL_FALSE, 0, kinds.constData());
    glEnableVertexAttribArray(GLuint(d->m_posAttr));
    glEnableVertexAttribArray(GLuint(d->m_colAttr));
    glEnableVertexAttribArray(GLuint(d->m_typeAttr));

    // A part that the small framebuffers hold is drawn through them, on a
    // tile laid at its corner; a larger one through those of size(), tile by
    // tile from the target's corner. Either corner is moved back to an even
    // pixel of the paper, which may take a tile more.
    const QSize small = d->m_smallFramebuffers.size();
    const QSize large = d->m_framebuffers.size();
    const bool throughSmall = small.isValid() && area.width() <= small.width() && area.height() <= small.height()
        && qint64(small.width()) * small.height() < qint64(large.width()) * large.height();
    const FramebufferPair &framebuffers = throughSmall ? d->m_smallFramebuffers : d->m_framebuffers;
    const QSize framebuffer = framebuffers.draw->size();
    const QPoint corner = throughSmall ? area.topLeft() : QPoint(0, 0);
    const QPoint grid = corner
        - QPoint(int((qint64(corner.x()) + paperOffset.x()) & 1), int((qint64(corner.y()) + paperOffset.y()) & 1));
    const int extent = std::max({d->m_extent, framebuffer.width(), framebuffer.height()});
    const bool sharedSpace = target.width() <= extent && target.height() <= extent;

    const QSize paperSize = d->m_paperTexture ? QSize(d->m_paperTexture->width(), d->m_paperTexture->height()) : QSize(1, 1);
    QMatrix4x4 projection;
    projection.ortho(QRect(0, 0, extent, extent));
    program.setUniformValue(d->m_projectionUniform, projection);
    program.setUniformValue(d->m_featherUniform, renderScale * 0.65f);
    program.setUniformValue(d->m_renderScaleUniform, renderScale);
    program.setUniformValue(d->m_penTypeUniform, family);
    program.setUniformValue(d->m_paperTextureSizeUniform, QSizeF(paperSize));
    // QImage rows are 4-byte aligned, as GL packs them by default.
    glPixelStorei(GL_PACK_ALIGNMENT, 4);

    // Only the pixels that are read back are cleared, drawn and resolved.
    glEnable(GL_SCISSOR_TEST);

    const int firstRow = (area.top() - grid.y()) / framebuffer.height();
    const int lastRow = (area.bottom() - grid.y()) / framebuffer.height();
    const int firstColumn = (area.left() - grid.x()) / framebuffer.width();
    const int lastColumn = (area.right() - grid.x()) / framebuffer.width();
    QImage scratch;
    for (int row = firstRow; row <= lastRow; ++row) {
        for (int column = firstColumn; column <= lastColumn; ++column) {
            const QPoint origin = grid + QPoint(column * framebuffer.width(), row * framebuffer.height());
            const QRect part = QRect(origin, framebuffer) & area;
            const QRect local = part.translated(-origin);
            // Framebuffer rows run upwards.
            const QRect glRect(local.left(), framebuffer.height() - local.bottom() - 1, local.width(), local.height());

            // Where the projection's corner lies on the target: at the
            // target's own, or, for a target wider than the projection, at
            // the tile's.
            const QPoint space = sharedSpace ? QPoint(0, 0) : origin;
            program.setUniformValue(d->m_transformUniform,
                                    QMatrix4x4(transform * QTransform::fromTranslate(-space.x(), -space.y())));
            glViewport(space.x() - origin.x(), framebuffer.height() - extent + origin.y() - space.y(), extent,
                       extent);
            // The shader reads the grain at (offset.x + x, offset.y - y) from the
            // tile's window position; adding the tile's origin and height anchors
            // the grain to the target's pixels, so tiles meet seamlessly and the
            // grain does not move with the framebuffer's size.
            program.setUniformValue(d->m_paperTextureOffsetUniform,
                                    QPointF(paperOffset.x() + origin.x(),
                                            paperOffset.y() + origin.y() + framebuffer.height()));

            glScissor(glRect.x(), glRect.y(), glRect.width(), glRect.height());
            framebuffers.draw->bind();
            glClear(GL_COLOR_BUFFER_BIT);
            if (vertices > 0)
                glDrawArrays(GL_TRIANGLES, 0, GLsizei(vertices));
            framebuffers.draw->release();

            if (framebuffers.read)
                QOpenGLFramebufferObject::blitFramebuffer(framebuffers.read.get(), glRect, framebuffers.draw.get(),
                                                          glRect, GL_COLOR_BUFFER_BIT, GL_NEAREST);
            QOpenGLFramebufferObject *readable = framebuffers.readable();
            readable->bind();
            d->m_context->extraFunctions()->glReadBuffer(GL_COLOR_ATTACHMENT0);
            if (scratch.size() != local.size())
                scratch = QImage(local.size(), QImage::Format_Alpha8);
            glReadPixels(glRect.x(), glRect.y(), glRect.width(), glRect.height(), GL_RED, GL_UNSIGNED_BYTE,
                         scratch.bits());
            readable->release();

            const int height = part.height();
            for (int y = 0; y < height; ++y)
                std::memcpy(target.scanLine(part.top() + y) + part.left(), scratch.constScanLine(height - 1 - y),
                            size_t(part.width()));
        }
    }

    glDisable(GL_SCISSOR_TEST);
    glDisableVertexAttribArray(GLuint(d->m_posAttr));
    glDisableVertexAttribArray(GLuint(d->m_colAttr));
    glDisableVertexAttribArray(GLuint(d->m_typeAttr));
    program.release();
    return true;
}

QImage OffscreenRenderer::loadTexture(const QString &fileName) const
{
    const QStringList directories = QStandardPaths::standardLocations(QStandardPaths::AppDataLocation);
    for (const QString &directory : directories) {
        const QImage image(QDir(directory).filePath(fileName));
        if (!image.isNull())
            return image;
    }
    return QImage(QStringLiteral(":/shaders/") + fileName);
}

} // namespace Model
