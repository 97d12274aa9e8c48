// Inputs of a few kilobytes that claim far more than they hold, each beside a
// valid input of the same size read the same way: a clipboard record of 20
// cells whose drawings claim the largest frame, pasted into a full-HD scene
// as the window pastes; a record of one drawing of ten collapsed pictures as
// large, pasted into a full-HD and an 8K scene; a scene file of ten such
// drawings in a 64x48 scene, and one of two drawings of 16 such pictures in
// a full-HD scene, opened; pictures under a turned root, one as wide as
// drawings reach and one row high, pasted and opened, and forty of the
// largest square holding two pixels of ink each, opened, beside the same
// pictures upright; a 655 KB scene file of 300 drawings each claiming a
// frame of its own near 8K, without its frame and with it, beside the same
// drawings all claiming one; scene files of 30 and 300 drawings of one
// marker line each from corner to corner of an 8192x8192 frame, without
// their pictures, beside the same drawings as the program saves them, each
// with the renderer at full HD and at the frame's size; and a
// 5 KB WAV at 1 Hz whose data chunk claims more than the file holds, decoded
// as an import decodes it. Each reports its time and what the heap held at
// its peak beyond what it held before.
//
// Beside them, a scene the program itself makes: twenty full-HD layers
// collapsed and merged into one drawing, opened after the frame was made
// four times smaller, and at full HD.

#include "benchsupport.h"

#include "audio/audiotestfiles.h"
#include "drawings/strokedrawing.h"
#include "io/sceneformat.h"
#include "io/scenereader.h"
#include "io/scenewriter.h"
#include "layers/audiolayer.h"
#include "layers/strokelayer.h"
#include "pastecommands.h"
#include "scene/klscene.h"
#include "scene/scenemodel.h"
#include "support/hostileinput.h"

#include <QBuffer>
#include <QMap>
#include <QMimeData>

#include <benchmark/benchmark.h>

#include <functional>
#include <memory>

using namespace BenchSupport;

namespace {

// A stereo 16-bit WAV file of fileBytes bytes at rate, its data chunk
// holding what the header leaves; statedDataBytes, when not negative, is
// what the chunk claims instead.
QByteArray wavOfSize(int fileBytes, int rate, qint64 statedDataBytes = -1)
{
    constexpr int HeaderBytes = 44;
    const int frames = (fileBytes - HeaderBytes) / 4;
    QList<qint16> samples;
    samples.reserve(frames * 2);
    for (int i = 0; i < frames * 2; ++i)
        samples.append(qint16((i * 2731) % 24000 - 12000));
    return AudioTestFiles::wavFile(rate, 2, 16, samples, statedDataBytes);
}

// About 5 KB of sound at 1 Hz, twenty minutes of it, in a file whose data
// chunk claims two gigabytes.
QByteArray wavClaimingMore()
{
    return wavOfSize(5000, 1, 0x7ffffff0);
}

constexpr int PastedCells = 20;
constexpr int FileDrawings = 10;
const QSize SmallFrame(64, 48);
const QSize FullHd(Width, Height);
const QSize Uhd8K(7680, 4320);

// One run of an operation: what it took, and what it did, for a counter.
using Operation = std::function<double()>;

// Runs make() (untimed) and then the operation it gives, once per
// iteration; time is the operation's alone.
void measure(benchmark::State &state, const std::function<Operation()> &make, const char *outcome)
{
    if (!rendererReady()) {
        state.SkipWithError(NoOpenGL);
        return;
    }
    HeapPeak heap;
    double peak = 0.0;
    double result = 0.0;
    for (auto _ : state) {
        const Operation operation = make();
        heap.start();
        const Clock::time_point start = Clock::now();
        result = operation();
        state.SetIterationTime(elapsedMs(start) / 1000.0);
        peak = std::max(peak, heap.addedMiB());
    }
    state.counters["peak_MB"] = peak;
    state.counters[outcome] = result;
}

QByteArray pasteRecord(QSize claimed)
{
    QList<QByteArray> drawings;
    for (int i = 0; i < PastedCells; ++i)
        drawings.append(HostileInput::drawingRecord({claimed}));
    return HostileInput::clipboardRecord(drawings);
}

// A scene of the given frame with one stroke layer of three blank cells;
// the record goes in at frame 1 as the window pastes onto the current cell.
// The operation gives the number of cells the layer has afterwards.
void paste(benchmark::State &state, const QByteArray &record, QSize frame = FullHd)
{
    std::shared_ptr<Model::KLScene> handle;
    std::shared_ptr<QMimeData> mime;
    measure(
        state,
        [&] {
            handle = std::make_shared<Model::KLScene>();
            Model::Scene *scene = handle->scene();
            scene->setFrameSize(frame, KL::FitMode::FitModeIgnore);
            auto layer = std::make_shared<Model::StrokeLayer>(Qt::black, frame, scene);
            for (int i = 1; i < 3; ++i)
                layer->insertCell(layer->frameCount(), layer->newCell());
            scene->insertLayer(layer, 0);
            scene->updateMaxFrameNumber();
            scene->setFrameRange(1, scene->maximumFrameNumber(), 1, 0);
            mime = std::make_shared<QMimeData>();
            mime->setData(Model::Scene::CellsMimeType, record);
            return [&] {
                const QModelIndex cell = handle->sceneModel()->index(0, 0);
                handle->scene()->undoStack()->push(new Commands::PasteDrawing(handle.get(), cell, mime.get()));
                return double(handle->scene()->layerFrameCount(0));
            };
        },
        "cells");
    state.counters["record_bytes"] = double(record.size());
}

void BM_HostileInputPasteAtTheCap(benchmark::State &state)
{
    paste(state, pasteRecord(HostileInput::CapFrame));
}
BENCHMARK(BM_HostileInputPasteAtTheCap)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// The same record with every drawing of the scene's own frame.
void BM_HostileInputPasteAtTheCapBaselineValid(benchmark::State &state)
{
    paste(state, pasteRecord(FullHd));
}
BENCHMARK(BM_HostileInputPasteAtTheCapBaselineValid)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// One drawing of ten collapsed pictures, each as large as the frame claimed
// and blank: 467 bytes.
QByteArray tenPictures(QSize claimed)
{
    return HostileInput::clipboardRecord({HostileInput::drawingRecord({claimed, false, 10})});
}

const QSize &sceneFrame(const benchmark::State &state)
{
    return state.range(0) == 0 ? FullHd : Uhd8K;
}

// Pasted into a full-HD scene (0) and an 8K one (1).
void BM_HostileInputPasteTenPictures(benchmark::State &state)
{
    paste(state, tenPictures(HostileInput::CapFrame), sceneFrame(state));
}
BENCHMARK(BM_HostileInputPasteTenPictures)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

// The same with every picture of the scene's own frame.
void BM_HostileInputPasteTenPicturesBaselineValid(benchmark::State &state)
{
    paste(state, tenPictures(sceneFrame(state)), sceneFrame(state));
}
BENCHMARK(BM_HostileInputPasteTenPicturesBaselineValid)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

QByteArray tenDrawingFile(QSize claimed)
{
    QList<QByteArray> drawings;
    for (int i = 0; i < FileDrawings; ++i)
        drawings.append(HostileInput::drawingRecord({claimed, true, 1}));
    return HostileInput::sceneDocument(SmallFrame, drawings);
}

// Opened as the window opens a file; the operation gives the number of
// damage entries the reader noted. For a file that makes the scene's frame
// anew (besideFrame), the frame's own two pictures (frame_MB) and what the
// open adds beyond them (beyond_frame_MB).
void open(benchmark::State &state, const QByteArray &document, bool besideFrame = false)
{
    std::shared_ptr<Model::Scene> scene;
    measure(
        state,
        [&] {
            scene = std::make_shared<Model::Scene>();
            return [&] {
                QBuffer device;
                device.setData(document);
                device.open(QIODevice::ReadOnly | QIODevice::Text);
                Model::SceneReader reader(scene.get());
                if (reader.read(&device) != Model::SceneFormat::Done)
                    return -1.0;
                return double(reader.damage().size());
            };
        },
        "damage");
    state.counters["file_bytes"] = double(document.size());
    if (!besideFrame)
        return;
    // The composite of the frame and its backlight, four bytes a pixel each.
    const double frameMiB = 2.0 * 4.0 * scene->frameWidth() * scene->frameHeight() / (1024.0 * 1024.0);
    state.counters["frame_MB"] = frameMiB;
    state.counters["beyond_frame_MB"] = state.counters["peak_MB"] - frameMiB;
}

void BM_HostileInputOpenTenDrawings(benchmark::State &state)
{
    open(state, tenDrawingFile(HostileInput::CapFrame));
}
BENCHMARK(BM_HostileInputOpenTenDrawings)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// The same file with every drawing, and its collapsed picture, of the
// scene's own frame.
void BM_HostileInputOpenTenDrawingsBaselineValid(benchmark::State &state)
{
    open(state, tenDrawingFile(SmallFrame));
}
BENCHMARK(BM_HostileInputOpenTenDrawingsBaselineValid)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// Two drawings of 16 collapsed pictures each as large as the frame claimed,
// in a full-HD scene: 2.3 KB.
QByteArray twoDrawingFile(QSize claimed)
{
    const QByteArray drawing = HostileInput::drawingRecord({claimed, false, 16});
    return HostileInput::sceneDocument(FullHd, {drawing, drawing});
}

void BM_HostileInputOpenTwoDrawings(benchmark::State &state)
{
    open(state, twoDrawingFile(HostileInput::CapFrame));
}
BENCHMARK(BM_HostileInputOpenTwoDrawings)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// The same with every drawing, and its pictures, of the scene's own frame.
void BM_HostileInputOpenTwoDrawingsBaselineValid(benchmark::State &state)
{
    open(state, twoDrawingFile(FullHd));
}
BENCHMARK(BM_HostileInputOpenTwoDrawingsBaselineValid)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// One picture as wide as drawings reach and one row high, holding a byte of
// ink where a full-HD frame shows it, under a root turned by degrees.
QByteArray turnedRow(double degrees)
{
    return HostileInput::turnedDrawingRecord(FullHd, {HostileInput::widestRow()}, degrees);
}

// Pasted into a full-HD scene: 148 bytes.
void BM_HostileInputPasteTurnedRow(benchmark::State &state)
{
    paste(state, HostileInput::clipboardRecord({turnedRow(0.5)}));
}
BENCHMARK(BM_HostileInputPasteTurnedRow)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// The same picture upright.
void BM_HostileInputPasteTurnedRowBaselineUpright(benchmark::State &state)
{
    paste(state, HostileInput::clipboardRecord({turnedRow(0.0)}));
}
BENCHMARK(BM_HostileInputPasteTurnedRowBaselineUpright)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// A full-HD scene file of one such drawing.
void BM_HostileInputOpenTurnedRow(benchmark::State &state)
{
    open(state, HostileInput::sceneDocument(FullHd, {turnedRow(0.5)}));
}
BENCHMARK(BM_HostileInputOpenTurnedRow)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_HostileInputOpenTurnedRowBaselineUpright(benchmark::State &state)
{
    open(state, HostileInput::sceneDocument(FullHd, {turnedRow(0.0)}));
}
BENCHMARK(BM_HostileInputOpenTurnedRowBaselineUpright)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// A full-HD scene file of one drawing of forty pictures of the largest
// square, two pixels of ink in each, under a root turned by degrees: 3 KB.
QByteArray fortySquares(double degrees)
{
    const QList<HostileInput::Picture> squares(40, HostileInput::largestSquare());
    return HostileInput::sceneDocument(FullHd, {HostileInput::turnedDrawingRecord(FullHd, squares, degrees)});
}

void BM_HostileInputOpenFortyTurnedSquares(benchmark::State &state)
{
    open(state, fortySquares(0.5));
}
BENCHMARK(BM_HostileInputOpenFortyTurnedSquares)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_HostileInputOpenFortyTurnedSquaresBaselineUpright(benchmark::State &state)
{
    open(state, fortySquares(0.0));
}
BENCHMARK(BM_HostileInputOpenFortyTurnedSquaresBaselineUpright)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

// A scene file of 300 drawings, each claiming a frame of its own near 8K,
// from 8192x7648 down to 7893x7349, and holding 35 blank pictures as large
// besides its ink, as the program writes none: 655 KB. Its frame is missing
// (0), so that the reader must choose one, or given as the largest they
// claim (1).
constexpr int ClaimingDrawings = 300;
const QSize LargestClaim(8192, 7648);

QByteArray manySizesFile(const benchmark::State &state, bool honest)
{
    QList<QByteArray> drawings;
    for (int i = 0; i < ClaimingDrawings; ++i)
        drawings.append(HostileInput::drawingRecord({honest ? LargestClaim : LargestClaim - QSize(i, i), true, 35}));
    return HostileInput::sceneDocument(state.range(0) == 0 ? QSize() : LargestClaim, drawings);
}

void BM_HostileInputOpenManySizes(benchmark::State &state)
{
    open(state, manySizesFile(state, false), true);
}
BENCHMARK(BM_HostileInputOpenManySizes)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// The same drawings, each claiming the largest frame, which the file gives
// or all of them tell.
void BM_HostileInputOpenManySizesBaselineOneSize(benchmark::State &state)
{
    open(state, manySizesFile(state, true), true);
}
BENCHMARK(BM_HostileInputOpenManySizesBaselineOneSize)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

// Twenty full-HD layers of scribbled curves, each collapsed at the program's
// grain and merged down into one drawing, saved; then saved again once the
// frame is made four times smaller with its aspect kept, as Scene Settings
// makes it.
struct MergedScene
{
    QByteArray atFullHd;
    QByteArray shrunk;
};

QByteArray written(const Model::Scene &scene)
{
    QBuffer device;
    device.open(QIODevice::WriteOnly | QIODevice::Text);
    Model::SceneWriter writer(&scene);
    writer.write(&device);
    return device.data();
}

const MergedScene &mergedScene()
{
    static const MergedScene documents = [] {
        Model::initAlphaCompositionTables();
        Model::Scene scene;
        scene.setFrameSize(FullHd, KL::FitMode::FitModeIgnore);
        auto layer = std::make_shared<Model::StrokeLayer>(Qt::black, FullHd, &scene);
        auto merged = std::static_pointer_cast<Model::StrokeDrawing>(layer->cell(1)->drawing());
        const auto pen = [](QRandomGenerator &random) {
            return QPen(QColor(0, 0, 0), 2.0 + random.bounded(5.0), Qt::SolidLine, Qt::RoundCap);
        };
        for (int i = 0; i < 20; ++i) {
            Model::StrokeDrawing ink(FullHd);
            ink.addStroke(std::make_unique<Model::BitmapStroke>(scribbledMask(quint32(300 + i), pen),
                                                                QRect(QPoint(0, 0), FullHd)));
            ink.collapseVectorData(2, QRect(QPoint(0, 0), FullHd));
            merged->mergeFrom(&ink);
        }
        scene.insertLayer(layer, 0);
        scene.updateMaxFrameNumber();
        scene.setFrameRange(1, 1, 1, 0);
        MergedScene made;
        made.atFullHd = written(scene);
        scene.setFrameSize(FullHd / 4, KL::FitMode::FitModeKeepAspect);
        made.shrunk = written(scene);
        return made;
    }();
    return documents;
}

void BM_HostileInputOpenMergedShrunk(benchmark::State &state)
{
    open(state, mergedScene().shrunk);
}
BENCHMARK(BM_HostileInputOpenMergedShrunk)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// The same pictures in the scene at full HD.
void BM_HostileInputOpenMergedShrunkBaselineFullHd(benchmark::State &state)
{
    open(state, mergedScene().atFullHd);
}
BENCHMARK(BM_HostileInputOpenMergedShrunkBaselineFullHd)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// A scene file of an 8192x8192 frame whose drawings each hold one marker
// line from corner to corner and no cached picture, so that the reader makes
// them: 30 drawings, 12 KB (30), and 300, 117 KB (300).
QByteArray longLinesFile(const benchmark::State &state)
{
    const QList<QByteArray> drawings(state.range(0), HostileInput::diagonalRecord(HostileInput::CapFrame));
    return HostileInput::sceneDocument(HostileInput::CapFrame, drawings);
}

// The renderer's framebuffers for one benchmark: the full-HD ones the other
// benchmarks use (0), or the frame's size, as the window sets them before it
// opens a scene (1). Back to full HD afterwards.
class RendererFramebuffers
{
public:
    explicit RendererFramebuffers(const benchmark::State &state)
    {
        if (state.range(1) != 0 && rendererReady())
            Model::OffscreenRenderer::instance()->setSize(HostileInput::CapFrame);
    }
    ~RendererFramebuffers()
    {
        if (rendererReady() && Model::OffscreenRenderer::instance()->size() != FullHd)
            Model::OffscreenRenderer::instance()->setSize(FullHd);
    }
    Q_DISABLE_COPY_MOVE(RendererFramebuffers)
};

void BM_HostileInputOpenLongLines(benchmark::State &state)
{
    const RendererFramebuffers framebuffers(state);
    open(state, longLinesFile(state), true);
}
BENCHMARK(BM_HostileInputOpenLongLines)
    ->ArgsProduct({{30, 300}, {0, 1}})
    ->ArgNames({"drawings", "frame_sized_renderer"})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

// The same drawings as the program saves them, each with its picture.
void BM_HostileInputOpenLongLinesBaselineSaved(benchmark::State &state)
{
    static QMap<qint64, QByteArray> saved;
    if (!saved.contains(state.range(0)) && rendererReady()) {
        Model::Scene scene;
        QBuffer device;
        device.setData(longLinesFile(state));
        device.open(QIODevice::ReadOnly | QIODevice::Text);
        Model::SceneReader(&scene).read(&device);
        saved.insert(state.range(0), written(scene));
    }
    const RendererFramebuffers framebuffers(state);
    open(state, saved.value(state.range(0)), true);
}
BENCHMARK(BM_HostileInputOpenLongLinesBaselineSaved)
    ->ArgsProduct({{30, 300}, {0, 1}})
    ->ArgNames({"drawings", "frame_sized_renderer"})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

// Decoded as an import or an opened scene decodes it; the operation gives
// the megabytes of sound the layer keeps.
void decode(benchmark::State &state, const QByteArray &file)
{
    std::shared_ptr<Model::AudioLayer> layer;
    measure(
        state,
        [&] {
            layer = std::make_shared<Model::AudioLayer>();
            return [&] {
                layer->setOriginalAudioData(file);
                return double(layer->pcm().size()) / (1024.0 * 1024.0);
            };
        },
        "sound_MB");
    state.counters["file_bytes"] = double(file.size());
}

void BM_HostileInputWavClaimingMore(benchmark::State &state)
{
    decode(state, wavClaimingMore());
}
BENCHMARK(BM_HostileInputWavClaimingMore)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// A WAV of the same size whose header tells the truth, at 8 kHz.
void BM_HostileInputWavClaimingMoreBaselineValid(benchmark::State &state)
{
    decode(state, wavOfSize(int(wavClaimingMore().size()), 8000));
}
BENCHMARK(BM_HostileInputWavClaimingMoreBaselineValid)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

} // namespace
