#pragma once

#include <QImage>
#include <QList>
#include <QObject>
#include <QOpenGLFunctions>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTransform>

#include <memory>

namespace Model {

class OffscreenRendererPrivate;

// Rasterises segment triangles into 8-bit coverage images with OpenGL, in an
// off-screen context that belongs to no window.
//
// One per process (instance()), set up once on the GUI thread (initialize) and
// used only there: the context is made current at set-up and stays current.
// Rendering draws into a framebuffer of size() and copies the result into the
// caller's image, tile by tile when the image is larger than the framebuffer.
// A rectangle of at most 512x512 pixels is drawn through framebuffers of that
// size instead, when size() is larger, so that what a small render costs
// does not grow with size(); they have one sample where multisampling can be
// switched off, which gives the same pixels without a resolve.
//
// Failure rules: a render before initialize, without framebuffers (size never
// set, or no size down to 1x1 could be created), with a non-positive render
// scale, into a target that is not 8 bits per pixel, or into a rectangle that
// misses the target changes nothing and returns false. Shader and framebuffer
// failures are reported with qWarning.
class OffscreenRenderer : public QObject, private QOpenGLFunctions
{
    Q_OBJECT

public:
    // Optional OpenGL features that the renderer can do without. initialize
    // probes the context for them; forcing one makes initialize take the
    // fallback even where the feature exists, so that tests can reach it.
    struct Fallbacks
    {
        bool noOneDimensionalTextures = false; // softness curves as one-row 2-D textures
        bool noNonPowerOfTwoTextures = false;  // framebuffer sides rounded up to powers of two
    };

    static OffscreenRenderer *instance();

    // Mesa's software renderer, llvmpipe (virtual machines, remote desktops,
    // machines without a graphics driver), rasterises on a pool of threads
    // and makes every read-back wait for the pool: one per segment drawn.
    // Rasterising on the calling thread instead takes the pen's wait per
    // sample from half a millisecond to a tenth, at the price of slower
    // re-renders of whole drawings, which happen away from the pen. So the
    // program asks llvmpipe for no threads (LP_NUM_THREADS=0) unless the user
    // has set that variable; no other driver reads it.
    //
    // Mesa reads it when the driver loads, with the process's first OpenGL
    // context or surface, so this must run before: initialize() and the model
    // library's start-up call it, and a program that makes OpenGL contexts
    // of its own before either (a shared context of the application) calls
    // it before the application object exists. Tests and benchmarks get the
    // same choice through initialize().
    static void chooseSoftwareRasterizerThreads();

    ~OffscreenRenderer() override;

    // Takes effect at the next initialize.
    void setForcedFallbacks(Fallbacks fallbacks);
    // The fallbacks that the last initialize chose (probed or forced).
    Fallbacks activeFallbacks() const;

    // Creates the context, textures and shader program, and with a valid size
    // the framebuffers. Calling it again discards everything and starts over.
    void initialize(QSize size);

    // (Re)creates the framebuffers; an invalid or empty size changes nothing.
    void setSize(QSize size);
    // The framebuffers' size, which may be smaller than asked for (halved
    // until the driver accepts it) or larger (rounded up to even sides or to
    // powers of two); invalid when there are none.
    QSize size() const;

    // Render the triangle lists (see Model::Segment's tessellation) into target
    // inside rect, overwriting what is there. transform maps segment
    // coordinates to target pixels; paperOffset places the paper grain (in
    // target pixels, the grain is anchored to the target, not to tiles);
    // renderScale is the size of one drawing pixel in target pixels.
    // renderPen uses family subType (0 pencil, 1 marker, 2 brush), renderEraser
    // subType + 3 (kneaded, rubber, vinyl); families are clamped to 0..5.
    // Return whether any pixel of target was written.
    bool renderPen(QImage &target, int subType, QPoint paperOffset, float renderScale, QRect rect,
                   const QTransform &transform, const QList<float> &positions,
                   const QList<float> &attributes, const QList<float> &kinds);
    bool renderEraser(QImage &target, int subType, QPoint paperOffset, float renderScale, QRect rect,
                      const QTransform &transform, const QList<float> &positions,
                      const QList<float> &attributes, const QList<float> &kinds);

    // A texture file in one of the AppDataLocation directories (in their
    // order) replaces the embedded ":/shaders/<fileName>".
    QImage loadTexture(const QString &fileName) const;

private:
    OffscreenRenderer();

    bool render(QImage &target, int family, QPoint paperOffset, float renderScale, QRect rect,
                const QTransform &transform, const QList<float> &positions,
                const QList<float> &attributes, const QList<float> &kinds);
    void releaseResources();

    std::unique_ptr<OffscreenRendererPrivate> d;
};

} // namespace Model
