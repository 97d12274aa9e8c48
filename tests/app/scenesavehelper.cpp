// A program that saves one large scene through the application's own save
// and nothing else, so that a test can kill it part way through the save.
//
//   kl-scenesavehelper <file> <frames> [<times> [<stop> <save>]]
//
// The scene has one reference layer of <frames> pictures of noise, which no
// encoder can shrink, so that writing them takes a while. "saving" goes to
// the standard output, flushed, just before the first save begins. The scene
// is saved <times> times over (once when not given). With <stop> and
// <save>, save number <save> (counted from 1) stops the whole program
// (SIGSTOP) at the point <stop> names, having written "stopping in save
// <number>" to the standard output, so that a test can look at it standing
// still there and kill it: <stop> is a number of bytes, once the save's new
// file holds that many, or "rename" or "renamed", just before or just
// after the save renames its new file over the old one. The save's own calls
// of the system stop it there, so that however busy the machine, it stops
// exactly where it was asked to.
// The exit code is 0 when the file was saved, 1 when a save failed, 2 for
// bad arguments or a stop that this system cannot watch for, 3 when save
// <save> ended without coming to <stop>.

#include "scenesave.h"

#include "layers/layeritem.h"
#include "layers/referencelayer.h"
#include "scene/scene.h"

#include <QApplication>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>

#include <atomic>
#include <cstdio>
#include <memory>

#ifdef Q_OS_LINUX
#include "saveinprogress.h"

#include <csignal>
#include <dlfcn.h>
#endif

namespace {
// The number of the save under way, 0 before the first.
std::atomic<int> saving = 0;
} // namespace

#ifdef Q_OS_LINUX
namespace {

// Where save number stopSave (0: none) stops: once its new file holds
// stopBytes bytes, or as it renames the new file over the old one.
enum class Stop { Bytes, BeforeRename, AfterRename };
std::atomic<int> stopSave = 0;
Stop stop = Stop::Bytes;
qint64 stopBytes = 0;
QString folder;

void stopIfAt(Stop reached)
{
    const int save = saving;
    if (save == 0 || save != stopSave || reached != stop
        || (stop == Stop::Bytes && SaveInProgress::newFile(QStringLiteral("self"), folder).bytes < stopBytes))
        return;
    stopSave = 0;
    std::printf("stopping in save %d\n", save);
    std::fflush(stdout);
    ::kill(::getpid(), SIGSTOP);
}

template<typename Function>
Function *systemCall(const char *name)
{
    return reinterpret_cast<Function *>(::dlsym(RTLD_NEXT, name));
}

} // namespace

// A program's own write() and rename() take the place of the C library's
// for every caller, Qt's file engine included: the save's calls come here on
// their way to the system, and the save stops exactly where it was asked to.
extern "C" ssize_t write(int fd, const void *data, size_t size)
{
    static auto *const next = systemCall<ssize_t(int, const void *, size_t)>("write");
    const ssize_t written = next(fd, data, size);
    stopIfAt(Stop::Bytes);
    return written;
}

extern "C" int rename(const char *from, const char *to) noexcept
{
    static auto *const next = systemCall<int(const char *, const char *)>("rename");
    stopIfAt(Stop::BeforeRename);
    const int result = next(from, to);
    stopIfAt(Stop::AfterRename);
    return result;
}
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
    if (!ok || times < 1)
        return 2;
    const int stopFrom = arguments.size() == 6 ? arguments.at(5).toInt(&ok) : 0;
    if (!ok || stopFrom < 0 || stopFrom > times)
        return 2;
    if (stopFrom > 0) {
#ifdef Q_OS_LINUX
        const QString where = arguments.at(4);
        stop = where == u"rename" ? Stop::BeforeRename : where == u"renamed" ? Stop::AfterRename : Stop::Bytes;
        stopBytes = where.toLongLong(&ok);
        if ((stop == Stop::Bytes && !ok) || !SaveInProgress::watchable())
            return 2;
        folder = QFileInfo(arguments.at(1)).absolutePath();
        stopSave = stopFrom;
#else
        return 2;
#endif
    }

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
    for (int saved = 1; saved <= times; ++saved) {
        saving = saved;
        const SceneSave::Result result = SceneSave::save(&scene, arguments.at(1), nullptr);
        if (result.status != SceneSave::Saved) {
            std::fprintf(stderr, "not saved (%d): %s\n", int(result.status), qPrintable(result.errorString));
            return 1;
        }
        if (saved == stopFrom) {
            std::fprintf(stderr, "save %d ended without stopping at %s\n", saved, qPrintable(arguments.at(4)));
            return 3;
        }
    }
    return 0;
}
