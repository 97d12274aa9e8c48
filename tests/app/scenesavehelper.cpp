// A program that saves one large scene through the application's own save
// and nothing else, so that a test can kill it part way through the save.
//
//   kl-scenesavehelper <file> <frames> [<times> [<bytes> <save>]]
//
// The scene has one reference layer of <frames> pictures of noise, which no
// encoder can shrink, so that writing them takes a while. "saving" goes to
// the standard output, flushed, just before the first save begins. The scene
// is saved <times> times over (once when not given; 0: until the program is
// killed). With <bytes> and <save>, a thread of the program watches its own
// saves and, in save number <save> (counted from 1) or a later one, once the
// save's new file holds <bytes> bytes, writes "stopping in save <number>,
// file <inode>" to the standard output and stops the whole program
// (SIGSTOP), so that a test can look at it standing still part way through
// a save and kill it there; however busy the machine, the save waits for
// the test. Whether the stop came before the save moved on, the test tells
// by the new file's inode.
// The exit code is 0 when the file was saved, 1 when a save failed, 2 for
// bad arguments or a stop that this system cannot watch for.

#include "scenesave.h"

#include "layers/layeritem.h"
#include "layers/referencelayer.h"
#include "scene/scene.h"

#include <QApplication>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#ifdef Q_OS_LINUX
#include "saveinprogress.h"

#include <csignal>
#endif

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    bool ok = false;
    const int frames = arguments.value(2).toInt(&ok);
    if (arguments.size() < 3 || arguments.size() > 6 || arguments.size() == 5 || !ok || frames < 1)
        return 2;
    const int times = arguments.size() >= 4 ? arguments.at(3).toInt(&ok) : 1;
    if (!ok || times < 0)
        return 2;
    const qint64 stopAt = arguments.size() == 6 ? arguments.at(4).toLongLong(&ok) : -1;
    if (!ok)
        return 2;
    const int stopFrom = arguments.size() == 6 ? arguments.at(5).toInt(&ok) : 0;
    if (!ok)
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

    // The number of the save under way; set before the save opens its new
    // file and changed only after it has closed it.
    std::atomic<int> saving = 0;
    std::atomic<bool> done = false;
    std::thread watcher;
    if (stopAt >= 0) {
#ifdef Q_OS_LINUX
        const QString folder = QFileInfo(arguments.at(1)).absolutePath();
        if (!SaveInProgress::watchable())
            return 2;
        watcher = std::thread([&saving, &done, folder, stopAt, stopFrom] {
            while (!done) {
                const int save = saving;
                const SaveInProgress::NewFile file = SaveInProgress::newFile(QStringLiteral("self"), folder);
                // The same save before and after: the file was that save's.
                if (save >= stopFrom && save == saving && file.bytes >= stopAt) {
                    std::printf("stopping in save %d, file %llu\n", save, static_cast<unsigned long long>(file.inode));
                    std::fflush(stdout);
                    ::kill(::getpid(), SIGSTOP);
                    return;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
#else
        return 2;
#endif
    }

    std::fputs("saving\n", stdout);
    std::fflush(stdout);
    int exitCode = 0;
    for (int saved = 0; times == 0 || saved < times; ++saved) {
        saving = saved + 1;
        const SceneSave::Result result = SceneSave::save(&scene, arguments.at(1), nullptr);
        if (result.status != SceneSave::Saved) {
            std::fprintf(stderr, "not saved (%d): %s\n", int(result.status), qPrintable(result.errorString));
            exitCode = 1;
            break;
        }
    }
    done = true;
    if (watcher.joinable())
        watcher.join();
    return exitCode;
}
