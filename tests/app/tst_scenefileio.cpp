// The main window's way to scene files: the real reader and writer under a
// progress dialog, their results as the file commands take them, and the
// damage of a scene that opened all the same.

#include "scenefileio.h"

#include "io/scenefiletesthelpers.h"
#include "support/failingdevice.h"
#include "support/filesizelimit.h"
#include "support/testsupport.h"

#include <QSaveFile>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <cerrno>

using namespace SceneFileTest;

namespace {

enum class Target { Memory, FailingDevice, DiskFullAtTheLastBytes };

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

Q_DECLARE_METATYPE(Target)

class TestSceneFileIO : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void read_data();
    void read();
    void write_data();
    void write();
};

void TestSceneFileIO::initTestCase()
{
    TestSupport::startRenderer(QSize(64, 64));
}

void TestSceneFileIO::read_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("damage");

    Model::Scene scene;
    buildEveryKind(scene);
    const QByteArray whole = written(scene);
    QTest::newRow("a whole scene") << whole << int(SceneFileIO::Success) << QString() << QString();
    // The first layer's drawing of frame 3, cut short.
    const QByteArray damaged = withPayload(whole, QStringLiteral("strokes"), 1, [](const QByteArray &bytes) {
        return QString::fromLatin1(bytes.left(bytes.size() / 2).toBase64());
    });
    QTest::newRow("a damaged drawing") << damaged << int(SceneFileIO::Success) << QString()
                                       << QStringLiteral("Layer \"Ink & <\"lines\">\", frame 3: its drawing is damaged");
    // The reader works on the file's bytes where they lie, and is asked
    // why it refused the file once it has let them go.
    QByteArray middle = whole;
    middle.replace("<!DOCTYPE kl>", "<!DOCTYPE kl [<!ENTITY ink \"Ink\">]>");
    middle.insert(middle.indexOf("<layer "), QByteArray(64, '\0'));
    QTest::newRow("NUL bytes in its middle, after an internal subset")
        << middle << int(SceneFileIO::Failed) << QStringLiteral("Unexpected '") << QString();
    // Its one layer, of one cell, is lost with the order of the layers.
    Model::Scene single;
    single.insertLayer(SceneTest::strokeLayer(single, QStringLiteral("X")), 0);
    const QByteArray one = written(single);
    QTest::newRow("cut inside the order of its layers")
        << one.left(one.indexOf("<ordering>") + 11) << int(SceneFileIO::Success) << QString()
        << QStringLiteral("The file ends early; one more cell and at least one more layer could not be read.");
    QTest::newRow("not a scene") << QByteArray("<?xml version=\"1.0\"?><kl version=\"0.3\"/>")
                                 << int(SceneFileIO::Failed)
                                 << QStringLiteral("The file is not a KL version 0.4 file\nLine 1, column ")
                                 << QString();
}

void TestSceneFileIO::read()
{
    QFETCH(QByteArray, document);
    QFETCH(int, result);
    QFETCH(QString, error);
    QFETCH(QString, damage);

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("scene.kl"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(document);
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    QWidget window;
    Model::Scene scene;
    const SceneFileIO::Outcome outcome = SceneFileIO::readScene(&scene, &file, &window);

    QCOMPARE(int(outcome.result), result);
    QVERIFY2(outcome.errorString.startsWith(error), qPrintable(outcome.errorString));
    QCOMPARE(outcome.errorString.isEmpty(), error.isEmpty());
    QVERIFY2(outcome.damageReport.startsWith(damage), qPrintable(outcome.damageReport));
    QCOMPARE(outcome.damageReport.isEmpty(), damage.isEmpty());
    QCOMPARE(outcome.damage.isEmpty(), damage.isEmpty());
    // What opened is the scene of the file.
    if (result == SceneFileIO::Success && damage.isEmpty())
        QCOMPARE(written(scene), document);
    // The dialog went with the read.
    QVERIFY(window.findChildren<QWidget *>().isEmpty());
}

void TestSceneFileIO::write_data()
{
    QTest::addColumn<Target>("target");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("error");
    QTest::newRow("memory") << Target::Memory << int(SceneFileIO::Success) << QString();
    QTest::newRow("a device that fills up") << Target::FailingDevice << int(SceneFileIO::Failed)
                                            << QStringLiteral("The device is full");
    // The save file keeps the last bytes until it is flushed: a full disk
    // refuses them only then, and the caller must not commit.
    QTest::newRow("a disk full at the last bytes")
        << Target::DiskFullAtTheLastBytes << int(SceneFileIO::Failed) << qt_error_string(EFBIG);
}

void TestSceneFileIO::write()
{
    QFETCH(Target, target);
    QFETCH(int, result);
    QFETCH(QString, error);

    Model::Scene scene;
    buildEveryKind(scene);
    const QByteArray document = written(scene);
    QWidget window;
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("scene.kl"));
    SceneFileIO::Outcome outcome;
    switch (target) {
    case Target::Memory: {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly | QIODevice::Text);
        outcome = SceneFileIO::writeScene(&scene, &buffer, &window);
        QCOMPARE(buffer.data(), document);
        break;
    }
    case Target::FailingDevice: {
        TestSupport::FailingDevice device(document.size() / 2);
        outcome = SceneFileIO::writeScene(&scene, &device, &window);
        break;
    }
    case Target::DiskFullAtTheLastBytes: {
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("the old scene");
        }
        QSaveFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text));
        {
            const TestSupport::FileSizeLimit limit(document.size() - 1);
            outcome = SceneFileIO::writeScene(&scene, &file, &window);
        }
        // As the main window does on a failure.
        file.cancelWriting();
        QCOMPARE(contentsOf(path), QByteArray("the old scene"));
        break;
    }
    }
    QCOMPARE(int(outcome.result), result);
    QVERIFY2(outcome.errorString.contains(error), qPrintable(outcome.errorString));
    QCOMPARE(outcome.errorString.isEmpty(), error.isEmpty());
    QVERIFY(window.findChildren<QWidget *>().isEmpty());
}

QTEST_MAIN(TestSceneFileIO)
#include "tst_scenefileio.moc"
