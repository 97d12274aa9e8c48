// Saving and opening a large scene: 4 stroke layers of 120 drawings of 30
// strokes each, 20 reference pictures, notes on every fifth frame and three
// minutes of sound, beside a bare QDataStream dump of the same records.

#include "benchsupport.h"

#include "drawings/imagedrawing.h"
#include "drawings/strokedrawing.h"
#include "io/sceneformat.h"
#include "io/scenefile.h"
#include "io/scenereader.h"
#include "layers/annotationlayer.h"
#include "layers/audiolayer.h"
#include "layers/referencelayer.h"
#include "layers/strokelayer.h"
#include "strokes/rleimage.h"
#include "strokes/singlestroke.h"
#include "tools/pentool.h"

#include <QFile>
#include <QObject>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cmath>
#include <functional>
#include <memory>

using namespace BenchSupport;

namespace {

constexpr int StrokeLayers = 4;
constexpr int Cells = 120;
constexpr int StrokesPerDrawing = 30;
constexpr int References = 20;
constexpr int NoteEvery = 5;
constexpr int SoundSeconds = 180;
constexpr double MiB = 1024.0 * 1024.0;

// Stands in for the progress dialog (its steps are where the reader and
// writer let events through), while the heap's peak is sampled.
class HeapSampler : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int value MEMBER m_value)
    Q_PROPERTY(int maximum MEMBER m_maximum)
    Q_PROPERTY(bool wasCanceled READ wasCanceled)

public:
    bool wasCanceled() const { return false; }
    void start() { m_heap.start(); }
    // What the heap held at its peak beyond what it held at the start.
    double addedMiB() { return m_heap.addedMiB(); }

private:
    int m_value = 0;
    int m_maximum = 0;
    HeapPeak m_heap;
};

// Stroke i of a drawing: a pen wave of about 60 samples somewhere in the
// frame, fitted as the pen would have drawn it.
std::unique_ptr<Model::SingleStroke> penStroke(const Model::Tool &tool, int layer, int i)
{
    auto stroke = std::make_unique<Model::SingleStroke>(&tool);
    const double y = 100.0 + ((i + layer * 7) * 31) % (Height - 200);
    const double phase = i * 0.6 + layer;
    for (int s = 0; s <= 60; ++s) {
        const double x = 300.0 + layer * 120.0 + s * 18.0;
        const double pressure = 0.4 + 0.5 * std::pow(std::sin(s / 10.0 + phase), 2.0);
        stroke->addPoint({x, y + 50.0 * std::sin(x / 120.0 + phase), pressure, 0.0});
    }
    stroke->finish();
    return stroke;
}

QImage referencePicture(int n)
{
    QImage picture(1280, 720, QImage::Format_ARGB32);
    picture.fill(QColor(240, 236, 228));
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 24; ++i) {
        painter.setPen(QPen(QColor::fromHsv((n * 37 + i * 15) % 360, 160, 120), 2.0 + i % 5));
        painter.drawEllipse(QPointF(200 + (i * 97 + n * 13) % 900, 120 + (i * 53 + n * 29) % 480), 40 + i * 3, 30 + i * 2);
    }
    return picture;
}

QImage note(int frame)
{
    QImage image(200, 60, QImage::Format_Alpha8);
    image.fill(0);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0, 0, 0, 255), 2.0));
    painter.drawLine(10, 10 + frame % 40, 190, 50 - frame % 40);
    return image;
}

// The scene, made once and kept for the whole run (a scene outlives no
// application object).
struct Fixture
{
    std::unique_ptr<Model::Scene> scene;
    double sceneMiB = 0.0;
};

// Every drawing differs from the others by a dot of its own, so that none
// shares its picture with another, as in a real scene.
void build(Model::Scene &scene)
{
    scene.setFrameSize(QSize(Width, Height), KL::FitMode::FitModeIgnore);
    Model::PenTool pen(Model::Tool::PenType::Pencil);
    pen.setSizeRangeLimits(3.0, 12.0);
    for (int l = 0; l < StrokeLayers; ++l) {
        Model::StrokeDrawing figure(QSize(Width, Height));
        for (int i = 0; i < StrokesPerDrawing - 1; ++i)
            figure.addStroke(penStroke(pen, l, i));
        auto layer = std::make_shared<Model::StrokeLayer>(InkedLayerColours.at(l), QSize(Width, Height), &scene);
        for (int c = 1; c <= Cells; ++c) {
            if (c > 1)
                layer->insertCell(c - 1, layer->newCell());
            std::shared_ptr<Model::Drawing> drawing = figure.clone();
            QImage dot(8, 8, QImage::Format_Alpha8);
            dot.fill(uchar(100 + c % 150));
            static_cast<Model::StrokeDrawing &>(*drawing)
                .addStroke(std::make_unique<Model::BitmapStroke>(dot, QRect((c * 15) % (Width - 8), 20 + l * 10, 8, 8)));
            layer->cell(c)->setDrawing(drawing);
        }
        scene.insertLayer(layer, scene.layerCount());
    }
    auto references = std::make_shared<Model::ReferenceLayer>(QSize(Width, Height), &scene);
    for (int n = 1; n <= References; ++n) {
        if (n > 1)
            references->insertCell(n - 1, references->newCell());
        references->cell(n)->setDrawing(std::make_shared<Model::ImageDrawing>(referencePicture(n)));
    }
    scene.insertLayer(references, scene.layerCount());
    auto notes = std::make_shared<Model::AnnotationLayer>(&scene);
    for (int frame = 1; frame <= Cells; ++frame)
        notes->appendImage(frame % NoteEvery == 1 ? note(frame) : QImage());
    scene.insertLayer(notes, scene.layerCount());
    auto sound = std::make_shared<Model::AudioLayer>(&scene);
    sound->setOriginalAudioData(toneWav(44100, SoundSeconds));
    scene.insertLayer(sound, scene.layerCount());
    scene.updateMaxFrameNumber();
    scene.setFrameRange(1, Cells, 1, 0);
}

// The same records as the file holds, one after another in one stream,
// without the document around them.
void writeDump(const Model::Scene &scene, QIODevice &device)
{
    QDataStream out(&device);
    Model::SceneFormat::preparePayloadStream(out, Model::SceneFormat::Payload::Strokes);
    for (int l = 0; l < scene.layerCount(); ++l) {
        const std::shared_ptr<Model::Layer> layer = scene.layerAt(l);
        if (const auto *visual = qobject_cast<const Model::VisualLayer *>(layer.get())) {
            for (const auto &cell : visual->cells()) {
                if (const auto *strokes = dynamic_cast<const Model::StrokeDrawing *>(cell->drawing().get()))
                    out << *strokes;
                else if (const auto *picture = dynamic_cast<const Model::ImageDrawing *>(cell->drawing().get()))
                    out << picture->image();
            }
        } else if (const auto *notes = qobject_cast<const Model::AnnotationLayer *>(layer.get())) {
            for (int frame = 1; frame <= scene.maximumFrameNumber(); ++frame)
                out << Model::RleImage(notes->image(frame));
        } else if (const auto *sound = qobject_cast<const Model::AudioLayer *>(layer.get())) {
            out << sound->originalAudioData();
        }
    }
}

// Reads the dump back into drawings, pictures, notes and a sound layer, as
// the reader makes them.
void readDump(QIODevice &device, QObject *parent)
{
    QDataStream in(&device);
    Model::SceneFormat::preparePayloadStream(in, Model::SceneFormat::Payload::Strokes);
    std::vector<std::shared_ptr<Model::Drawing>> drawings;
    for (int i = 0; i < StrokeLayers * Cells; ++i) {
        auto drawing = std::make_shared<Model::StrokeDrawing>(QSize(Width, Height));
        in >> *drawing;
        drawings.push_back(std::move(drawing));
    }
    for (int i = 0; i < References; ++i) {
        QImage picture;
        in >> picture;
        drawings.push_back(std::make_shared<Model::ImageDrawing>(picture));
    }
    QList<QImage> notes;
    for (int frame = 1; frame <= Cells; ++frame) {
        Model::RleImage coded;
        in >> coded;
        notes.append(coded.toImage());
    }
    QByteArray sound;
    in >> sound;
    Model::AudioLayer layer(parent);
    layer.setOriginalAudioData(sound);
    benchmark::DoNotOptimize(drawings.data());
}

Fixture &fixture()
{
    static Fixture *shared = [] {
        auto *made = new Fixture;
        const qint64 before = heapInUse();
        made->scene = std::make_unique<Model::Scene>();
        build(*made->scene);
        made->sceneMiB = double(heapInUse() - before) / MiB;
        return made;
    }();
    return *shared;
}

// Every measured save and open starts from a heap that has given its free
// memory back: each one takes its pages afresh, whichever ran before it.
void startAfresh(benchmark::State &state)
{
    state.PauseTiming();
    malloc_trim(0);
    state.ResumeTiming();
}

double fileMiB(const QString &path)
{
    return double(QFileInfo(path).size()) / MiB;
}

// One save or open per iteration of the file called name, with the heap
// sampled while it runs; run answers what went wrong, if anything. prepare,
// when given, first writes the file that run opens. The files live only as
// long as their benchmark: they take memory where the scratch folder is
// /dev/shm.
using Run = std::function<QString(const Model::Scene &, const QString &path, HeapSampler &)>;
using Prepare = std::function<void(const Model::Scene &, const QString &path)>;
void measure(benchmark::State &state, const QString &name, const Run &run, const Prepare &prepare = {})
{
    if (!rendererReady()) {
        state.SkipWithError(NoOpenGL);
        return;
    }
    const Fixture &shared = fixture();
    const QTemporaryDir folder(scratchParent() + QStringLiteral("/kelvane-bench-XXXXXX"));
    const QString path = folder.filePath(name);
    if (prepare)
        prepare(*shared.scene, path);
    HeapSampler sampler;
    double peak = 0.0;
    for (auto _ : state) {
        startAfresh(state);
        sampler.start();
        const QString failure = run(*shared.scene, path, sampler);
        peak = std::max(peak, sampler.addedMiB());
        if (!failure.isEmpty()) {
            state.SkipWithError(qPrintable(failure));
            return;
        }
    }
    state.counters["file_MB"] = fileMiB(path);
    state.counters["peak_MB"] = peak;
    state.counters["scene_MB"] = shared.sceneMiB;
}

QString save(const Model::Scene &scene, const QString &path, HeapSampler *sampler = nullptr)
{
    return Model::SceneFile::save(scene, path, sampler).message;
}

QString dump(const Model::Scene &scene, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    writeDump(scene, file);
    file.close();
    return file.error() == QFileDevice::NoError ? QString() : file.errorString();
}

void BM_SceneFileWrite(benchmark::State &state)
{
    measure(state, QStringLiteral("scene.kl"), [](const Model::Scene &scene, const QString &path, HeapSampler &sampler) {
        return save(scene, path, &sampler);
    });
}
BENCHMARK(BM_SceneFileWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_SceneFileWriteBaselineDump(benchmark::State &state)
{
    measure(state, QStringLiteral("scene.dump"), [](const Model::Scene &scene, const QString &path, HeapSampler &) {
        return dump(scene, path);
    });
}
BENCHMARK(BM_SceneFileWriteBaselineDump)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_SceneFileRead(benchmark::State &state)
{
    const auto read = [](const Model::Scene &, const QString &path, HeapSampler &sampler) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return file.errorString();
        Model::Scene scene;
        Model::SceneReader reader(&scene, &sampler);
        return reader.read(&file) == Model::SceneFormat::Done ? QString() : reader.errorString();
    };
    measure(state, QStringLiteral("scene.kl"), read,
            [](const Model::Scene &scene, const QString &path) { save(scene, path); });
}
BENCHMARK(BM_SceneFileRead)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_SceneFileReadBaselineDump(benchmark::State &state)
{
    const auto read = [](const Model::Scene &, const QString &path, HeapSampler &) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return file.errorString();
        QObject parent;
        readDump(file, &parent);
        return QString();
    };
    measure(state, QStringLiteral("scene.dump"), read,
            [](const Model::Scene &scene, const QString &path) { dump(scene, path); });
}
BENCHMARK(BM_SceneFileReadBaselineDump)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

#include "bench_scenefile.moc"
