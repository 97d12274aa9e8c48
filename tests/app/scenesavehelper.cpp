// A program that saves one large scene through the application's own save
// and nothing else, so that a test can kill it part way through the save.
//
//   kl-scenesavehelper <file> <frames>
//
// The scene has one reference layer of <frames> pictures of noise, which no
// encoder can shrink, so that writing them takes a while. "saving" goes to
// the standard output, flushed, just before the save begins; the exit code
// is 0 when the file was saved, 1 when the save failed, 2 for bad arguments.

#include "scenesave.h"

#include "layers/layeritem.h"
#include "layers/referencelayer.h"
#include "scene/scene.h"

#include <QApplication>
#include <QImage>
#include <QRandomGenerator>

#include <cstdio>
#include <memory>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    bool ok = false;
    const int frames = arguments.value(2).toInt(&ok);
    if (arguments.size() != 3 || !ok || frames < 1)
        return 2;

    const QSize size(512, 512);
    Model::Scene scene;
    scene.setFrameSize(size, KL::FitMode::FitModeIgnore);
    auto layer = std::make_shared<Model::ReferenceLayer>(size, &scene);
    QRandomGenerator noise(frames);
    for (int frame = 0; frame < frames; ++frame) {
        QImage picture(size, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < size.height(); ++y) {
            auto *line = reinterpret_cast<quint32 *>(picture.scanLine(y));
            noise.fillRange(line, size.width());
            for (int x = 0; x < size.width(); ++x)
                line[x] |= 0xff000000u;
        }
        auto cell = std::make_shared<Model::LayerItem>(picture);
        if (frame == 0)
            layer->setCell(0, cell);
        else
            layer->insertCell(frame, cell);
    }
    scene.insertLayer(layer, 0);

    std::fputs("saving\n", stdout);
    std::fflush(stdout);
    const SceneSave::Result result = SceneSave::save(&scene, arguments.at(1), nullptr);
    if (result.status != SceneSave::Saved) {
        std::fprintf(stderr, "not saved (%d): %s\n", int(result.status), qPrintable(result.errorString));
        return 1;
    }
    return 0;
}
