// The two ways a fuzz target runs: under libFuzzer (KL_LIBFUZZER), which
// supplies main() and feeds mutated inputs, or as a plain program that
// replays the files of its corpus once, as ctest does, and that writes the
// seed corpus on request.

#include "fuzztarget.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace Fuzz {

namespace {

bool renderer = false;

// Millions of inputs go by: the readers' debug messages would only slow
// them down. Warnings and worse still show.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    std::fprintf(stderr, "%s\n", qPrintable(message));
}

void setUp(int *argc, char ***argv)
{
    // Without a display the targets still run, only without OpenGL.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietMessages);
    // Lives as long as the process, like the renderer that needs it: static
    // objects go in no order that would let the application end last.
    new QGuiApplication(*argc, *argv);
    // Small tiles: frames larger than this render tile by tile, which is a
    // path of its own.
    renderer = TestSupport::startRenderer(QSize(256, 256));
}

} // namespace

void expect(bool condition, const char *message)
{
    if (condition)
        return;
    std::fprintf(stderr, "Broken promise: %s\n", message);
    std::abort();
}

QList<QRgb> colourTable(QRgb colour)
{
    QList<QRgb> table;
    for (int i = 0; i < 256; ++i)
        table.append(qRgba(qRed(colour), qGreen(colour), qBlue(colour), i));
    return table;
}

bool rendererRunning()
{
    return renderer;
}

} // namespace Fuzz

#ifdef KL_LIBFUZZER

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    Fuzz::setUp(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::testOneInput(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}

#else

namespace {

int writeSeeds(const QString &folder)
{
    if (!QDir().mkpath(folder))
        return 1;
    for (const QByteArray &seed : Fuzz::seeds()) {
        // Named by content, as libFuzzer names what it adds.
        const QString name = QString::fromLatin1(QCryptographicHash::hash(seed, QCryptographicHash::Sha1).toHex());
        QFile file(QDir(folder).filePath(QStringLiteral("seed-") + name));
        if (!file.open(QIODevice::WriteOnly) || file.write(seed) != seed.size())
            return 1;
    }
    return 0;
}

int replay(const QString &path, int &count)
{
    const QFileInfo info(path);
    QStringList files;
    if (info.isDir()) {
        const QDir folder(path);
        for (const QString &name : folder.entryList(QDir::Files, QDir::Name))
            files.append(folder.filePath(name));
    } else if (info.isFile()) {
        files.append(path);
    } else {
        std::fprintf(stderr, "No such corpus: %s\n", qPrintable(path));
        return 1;
    }
    for (const QString &name : std::as_const(files)) {
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "Cannot read %s\n", qPrintable(name));
            return 1;
        }
        std::fprintf(stderr, "%s\n", qPrintable(name));
        Fuzz::testOneInput(file.readAll());
        ++count;
    }
    return 0;
}

} // namespace

// fuzz_<name> PATH...            replays every file (folders: every file in them)
// fuzz_<name> --write-seeds DIR  writes the seed corpus into DIR
int main(int argc, char **argv)
{
    Fuzz::setUp(&argc, &argv);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.size() == 2 && arguments.first() == QLatin1String("--write-seeds"))
        return writeSeeds(arguments.at(1));
    if (arguments.isEmpty()) {
        std::fprintf(stderr, "Usage: %s CORPUS... | --write-seeds DIR\n", argv[0]);
        return 2;
    }
    int count = 0;
    for (const QString &path : arguments) {
        if (replay(path, count) != 0)
            return 1;
    }
    if (count == 0) {
        std::fprintf(stderr, "The corpus holds no input\n");
        return 1;
    }
    std::printf("%d inputs replayed\n", count);
    return 0;
}

#endif
