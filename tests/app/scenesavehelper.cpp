// A program that saves one large scene through the application's own save
// and nothing else, so that a test can kill it part way through the save.
//
//   kl-scenesavehelper <file> <frames> [<stop> <save>]
//
// The scene has one reference layer of <frames> pictures of noise, which no
// encoder can shrink, so that writing them takes a while. "saving" goes to
// the standard output, flushed, just before the first save begins. The scene
// is saved once, or <save> times over: then the last save writes "stopping
// in save <save>" and stops the whole program (SIGSTOP) at <stop>, once its
// new file holds that many bytes, or just before ("rename") or after
// ("renamed") it takes the old file's place. The save's own calls of the
// system on its own files stop it there, however busy the machine; a file
// written anew beside the folder as each save begins, as a cache, does not.
// The exit code is 0 when the file was saved, 1 when a save failed, 2 for
// bad arguments or a stop that this system cannot watch for, 3 when the
// last save ended without coming to <stop>.

#include "scenesave.h"

#include "layers/layeritem.h"
#include "layers/referencelayer.h"
#include "scene/scene.h"

#include <QApplication>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>
#include <QSaveFile>

#include <atomic>
#include <cstdio>
#include <memory>

#ifdef Q_OS_LINUX
#include "saveinprogress.h"

#include <csignal>
#include <dlfcn.h>
#endif

namespace {

// The number of the save under way, 0 before the first; save stopSave (0:
// none) stops where stop and stopBytes say.
enum class Stop { Bytes, BeforeRename, AfterRename };
std::atomic<int> saving = 0;
std::atomic<int> stopSave = 0;
Stop stop = Stop::Bytes;
qint64 stopBytes = 0;
QString folder;
QByteArray target;

#ifdef Q_OS_LINUX
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
#endif

} // namespace

#ifdef Q_OS_LINUX
// A program's own write() and rename() take the place of the C library's
// for every caller, Qt's file engine included: the save's calls come here on
// their way to the system, and the save stops exactly where it was asked to,
// at its own calls on its own files only.
extern "C" ssize_t write(int fd, const void *data, size_t size)
{
    static auto *const next = reinterpret_cast<ssize_t (*)(int, const void *, size_t)>(::dlsym(RTLD_NEXT, "write"));
    const ssize_t written = next(fd, data, size);
    if (saving != 0 && SaveInProgress::newFile(QStringLiteral("self"), folder, QString::number(fd)).bytes >= 0)
        stopIfAt(Stop::Bytes);
    return written;
}

extern "C" int rename(const char *from, const char *to) noexcept
{
    static auto *const next = reinterpret_cast<int (*)(const char *, const char *)>(::dlsym(RTLD_NEXT, "rename"));
    const bool own = saving != 0 && target == to;
    if (own)
        stopIfAt(Stop::BeforeRename);
    const int result = next(from, to);
    if (own)
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
    if ((arguments.size() != 3 && arguments.size() != 5) || !ok || frames < 1)
        return 2;
    const int times = arguments.size() == 5 ? arguments.at(4).toInt(&ok) : 1;
    if (!ok || times < 1)
        return 2;
    if (arguments.size() == 5) {
        const QString where = arguments.at(3);
        stop = where == u"rename" ? Stop::BeforeRename : where == u"renamed" ? Stop::AfterRename : Stop::Bytes;
        stopBytes = where.toLongLong(&ok);
#ifdef Q_OS_LINUX
        if ((stop == Stop::Bytes && !ok) || !SaveInProgress::watchable())
            return 2;
#else
        return 2;
#endif
        folder = QFileInfo(arguments.at(1)).absolutePath();
        target = QFile::encodeName(arguments.at(1));
        stopSave = times;
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

    const auto writeBeside = [] {
        QSaveFile other(folder + QStringLiteral(".cache"));
        return folder.isEmpty() || (other.open(QIODevice::WriteOnly) && other.write("cache") == 5 && other.commit());
    };
    if (!writeBeside())
        return 2;
    std::fputs("saving\n", stdout);
    std::fflush(stdout);
    for (int saved = 1; saved <= times; ++saved) {
        saving = saved;
        if (!writeBeside())
            return 2;
        const SceneSave::Result result = SceneSave::save(&scene, arguments.at(1), nullptr);
        if (result.status != SceneSave::Saved) {
            std::fprintf(stderr, "not saved (%d): %s\n", int(result.status), qPrintable(result.errorString));
            return 1;
        }
        if (saved == stopSave) {
            std::fprintf(stderr, "save %d ended without stopping at %s\n", saved, qPrintable(arguments.at(3)));
            return 3;
        }
    }
    return 0;
}
