#include "export/exportfolder.h"
#include "export/exportnames.h"
#include "export/exrwriter.h"

#include "exporttesthelpers.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Model;
using namespace ExportTest;

class TestExportFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Names from what the user typed
    void safeFileName_data();
    void safeFileName();
    void uniqueFileName();

    // The folder that holds an export's files until they are complete
    void pathsMustStayInside_data();
    void pathsMustStayInside();
    void removingNeverFollowsLinks();

    // The OpenEXR writer
    void exrWriterFailures_data();
    void exrWriterFailures();
};

void TestExportFiles::safeFileName_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("name");

    QTest::newRow("plain") << "Ink" << "Ink";
    QTest::newRow("inner dots and spaces stay") << "Ink 2.final" << "Ink 2.final";
    QTest::newRow("parent folder") << ".." << "_";
    QTest::newRow("current folder") << "." << "_";
    QTest::newRow("empty") << "" << "_";
    QTest::newRow("climbing out") << "../x" << ".._x";
    QTest::newRow("absolute path") << "/etc/passwd" << "_etc_passwd";
    QTest::newRow("backslashes") << "..\\..\\x" << ".._.._x";
    QTest::newRow("drive letter") << "C:x" << "C_x";
    QTest::newRow("characters Windows forbids") << "a*b?c\"d<e>f|g" << "a_b_c_d_e_f_g";
    QTest::newRow("control characters") << "a\tb\nc" << QStringLiteral("a_b_c");
    QTest::newRow("delete character") << QStringLiteral("a\x7f") << "a_";
    QTest::newRow("trailing dots and spaces") << "Ink. . " << "Ink";
    QTest::newRow("device name") << "CON" << "_CON";
    QTest::newRow("device name in lower case") << "nul" << "_nul";
    QTest::newRow("device name with an extension") << "aux.png" << "_aux.png";
    QTest::newRow("serial port") << "COM1" << "_COM1";
    QTest::newRow("printer port") << "lpt9.txt" << "_lpt9.txt";
    QTest::newRow("a word that only starts like one") << "CONTOUR" << "CONTOUR";
    QTest::newRow("non-Latin letters stay") << QStringLiteral("線画") << QStringLiteral("線画");
    QTest::newRow("overlong") << QString(300, u'a') << QString(96, u'a');
    QTest::newRow("overlong, cut before a surrogate pair")
        << QString(95, u'a') + QStringLiteral("\U0001F600") << QString(95, u'a');
}

void TestExportFiles::safeFileName()
{
    QFETCH(QString, text);
    QFETCH(QString, name);
    QCOMPARE(Model::safeFileName(text), name);
}

void TestExportFiles::uniqueFileName()
{
    QSet<QString> taken;
    QStringList names;
    for (const char *name : {"Ink", "Ink", "INK", "Ink_2", "Rough"})
        names.append(Model::uniqueFileName(QLatin1String(name), taken));
    QCOMPARE(names, (QStringList{"Ink", "Ink_2", "INK_3", "Ink_2_2", "Rough"}));
}

void TestExportFiles::pathsMustStayInside_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("file") << "a.png" << true;
    QTest::newRow("file in a folder") << "Ink/a.png" << true;
    QTest::newRow("parent") << "../a.png" << false;
    QTest::newRow("parent inside") << "Ink/../../a.png" << false;
    QTest::newRow("current folder") << "./a.png" << false;
    QTest::newRow("absolute") << "/tmp/a.png" << false;
    QTest::newRow("backslash") << "Ink\\a.png" << false;
    QTest::newRow("drive or stream") << "C:a.png" << false;
    QTest::newRow("empty part") << "Ink//a.png" << false;
    QTest::newRow("empty") << "" << false;
}

void TestExportFiles::pathsMustStayInside()
{
    QFETCH(QString, path);
    QFETCH(bool, accepted);
    QTemporaryDir root;
    const QString out = QDir(root.path()).filePath("out");
    {
        ExportFolder folder(out, ExportFolder::ReplaceFolder);
        QVERIFY(folder.open());
        QVERIFY(folder.makeFolder("Ink"));
        QCOMPARE(folder.writeFile(path, "data"), accepted);
        if (!accepted)
            QVERIFY2(folder.errorMessage().contains("could not be written"), qPrintable(folder.errorMessage()));
        QVERIFY(folder.commit());
    }
    QStringList expected = {"out/", "out/Ink/"};
    if (accepted)
        expected.append(QStringLiteral("out/") + path);
    expected.sort();
    QCOMPARE(entriesBelow(root.path()), expected);
}

void TestExportFiles::removingNeverFollowsLinks()
{
    QTemporaryDir root;
    const QString elsewhere = QDir(root.path()).filePath("elsewhere");
    QVERIFY(QDir().mkpath(elsewhere));
    QVERIFY(writeFileContents(QDir(elsewhere).filePath("precious.txt"), "keep me"));
    const QString doomed = QDir(root.path()).filePath("doomed");
    QVERIFY(QDir().mkpath(QDir(doomed).filePath("inner")));
    QVERIFY(QFile::link(elsewhere, QDir(doomed).filePath("inner/link-to-folder")));
    QVERIFY(QFile::link(QDir(elsewhere).filePath("precious.txt"), QDir(doomed).filePath("link-to-file")));
    QVERIFY(QFile::link(QDir(root.path()).filePath("nowhere"), QDir(doomed).filePath("dangling")));
    QVERIFY(QFile::link(elsewhere, QDir(root.path()).filePath("top-link")));

    QVERIFY(ExportFolder::removeTree(doomed));
    QVERIFY(ExportFolder::removeTree(QDir(root.path()).filePath("top-link")));

    QCOMPARE(entriesBelow(root.path()), (QStringList{"elsewhere/", "elsewhere/precious.txt"}));
    QCOMPARE(fileContents(QDir(elsewhere).filePath("precious.txt")), QByteArray("keep me"));
}

void TestExportFiles::exrWriterFailures_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<QString>("path");

    QImage opaque(8, 8, QImage::Format_ARGB32);
    opaque.fill(Qt::red);
    QImage rgb(8, 8, QImage::Format_RGB32);
    rgb.fill(Qt::red);
    // A device that is always full: every write fails.
    QTest::newRow("full device") << opaque << "/dev/full";
    QTest::newRow("no such folder") << opaque << "missing/frame.exr";
    QTest::newRow("image without alpha") << rgb << "frame.exr";
    QTest::newRow("null image") << QImage() << "frame.exr";
}

void TestExportFiles::exrWriterFailures()
{
    QFETCH(QImage, image);
    QFETCH(QString, path);

    QTemporaryDir dir;
    const QString target = QDir::isAbsolutePath(path) ? path : dir.filePath(path);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Save EXR err:")));
    QVERIFY(!writeExrImage(image, target));
    // Nothing half written stays, and a device stays a device.
    QCOMPARE(entriesBelow(dir.path()), QStringList());
    QVERIFY(QFileInfo::exists(QStringLiteral("/dev/full")));
}

QTEST_MAIN(TestExportFiles)
#include "tst_exportfiles.moc"
