#include "mainwindowtesthelpers.h"

#include "applicationfont.h"

#include "../audio/audiotestfiles.h"
#include "export/moviereader.h"
#include "export/ocarules.h"
#include "dialogs/tutorialdialog.h"
#include "paper/paper.h"
#include "support/cellpattern.h"
#include "support/testfiles.h"
#include "support/widgetevents.h"

#include "actions/actionmanager.h"
#include "drawings/strokedrawing.h"
#include "initialize.h"
#include "settings/settings.h"
#include "strokes/compoundstroke.h"

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QImageReader>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {

using namespace MainWindowTest;
using A = KL::Action;

QAction *action(A key)
{
    return Model::ActionManager::instance()->action(key);
}

QString untitledTitle(const QString &mark = QString())
{
    return QStringLiteral("Kelvane: Untitled%1 [1920x1080] 100%").arg(mark);
}

// The layers as their types read: 1 strokes, 3 reference, 4 audio, 5 notes.
QList<int> layerTypes(const Model::Scene *scene)
{
    QList<int> types;
    for (int layer = 0; layer < scene->layerCount(); ++layer)
        types << scene->layerType(layer);
    return types;
}

// The undo history's entries, oldest first, joined by "|".
QString history(const Model::Scene *scene)
{
    QStringList texts;
    for (int i = 0; i < scene->undoStack()->count(); ++i)
        texts << scene->undoStack()->text(i);
    return texts.join(u'|');
}

const Model::StrokeDrawing *strokeDrawing(const Model::Scene *scene, int layer, int frame)
{
    const std::shared_ptr<Model::LayerItem> item = scene->itemAt(layer, frame);
    return item ? dynamic_cast<const Model::StrokeDrawing *>(item->drawing().get()) : nullptr;
}

// A stroke across the middle of the paper, as a mouse draws it.
void drawStroke(MainWindow *window, int shift)
{
    UI::Paper *paper = window->findChild<UI::Paper *>();
    const QPointF centre = QRectF(paper->rect()).center() + QPointF(0, shift);
    QList<QPointF> points;
    for (int step = -8; step <= 8; ++step)
        points << centre + QPointF(step * 12, (step % 3) * 6);
    TestSupport::drag(paper, points);
}

QImage picture(const QColor &colour)
{
    QImage image(1920, 1080, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

int acceptAsIs(QDialog *dialog)
{
    dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    return dialog->result();
}

bool askedWithText(const ScriptedDialogs *dialogs, const QString &text)
{
    return std::any_of(dialogs->asked.cbegin(), dialogs->asked.cend(),
                       [&text](const ScriptedDialogs::Question &question) { return question.text.contains(text); });
}

} // namespace

// The program as an animator uses it, one step after the other in one
// window (and a fresh one after reopening): a new scene, a stroke drawn with
// the mouse, save and reopen, a short exposure sheet with a clone, imported
// frames and sound, the three exports read back as other programs read
// them, closing with changes, and a damaged scene on the command line. Each
// step builds on the ones before it; the questions are answered through the
// window's dialog seam.
class TestEndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void startsWithANewScene();
    void drawsAStroke();
    void savesAndReopens();
    void buildsTheSheet();
    void exportsFrames();
    void exportsThePackage();
    void exportsAMovie();
    void closesWithChanges();
    void damagedSceneOnTheCommandLine();

private:
    Model::Scene *scene() const { return currentScene(); }

    QTemporaryDir m_dir;
    Started m_started;
    QString m_scenePath;
};

void TestEndToEnd::initTestCase()
{
    Startup::prepareProcess();
    QSettings().clear();
    Model::initialize();
    registerApplicationFont();
    QVERIFY(m_dir.isValid());
    m_scenePath = m_dir.filePath(QStringLiteral("walk.kl"));
}

// A step that failed may leave answers unused; the next starts afresh.
void TestEndToEnd::init()
{
    if (m_started.dialogs) {
        m_started.dialogs->files.clear();
        m_started.dialogs->buttons.clear();
        m_started.dialogs->runDialog = nullptr;
    }
}

void TestEndToEnd::cleanupTestCase()
{
    if (Model::Scene *open = scene())
        open->undoStack()->setClean();
    m_started = Started();
}

void TestEndToEnd::startsWithANewScene()
{
    // A first start: the tutorial comes up once the window shows, and the
    // user closes it for good.
    m_started = startWindow({});
    bool tutorialClosed = false;
    m_started.dialogs->runDialog = [&tutorialClosed](QDialog *dialog) {
        auto *tutorial = qobject_cast<UI::TutorialDialog *>(dialog);
        if (!tutorial)
            return int(QDialog::Rejected);
        tutorial->setDontShowAgain(true);
        tutorialClosed = true;
        return int(QDialog::Rejected);
    };
    QVERIFY(QTest::qWaitForWindowExposed(m_started.window.get()));
    QTRY_VERIFY(scene() && tutorialClosed);
    m_started.dialogs->runDialog = nullptr;
    QVERIFY(!Model::Settings::instance()->showHowToAnimateOnStartup());
    QVERIFY(scene());
    QCOMPARE(scene()->frameSize(), QSize(1920, 1080));
    QCOMPARE(layerTypes(scene()), (QList<int>{1, 4, 5}));
    QCOMPARE(scene()->activeLayerIdx(), 0);
    QCOMPARE(scene()->activeFrame(), 1);
    QTRY_COMPARE(m_started.window->windowTitle(), untitledTitle());
    QCOMPARE(m_started.dialogs->kinds(), QStringList{QStringLiteral("exec")});
}

void TestEndToEnd::drawsAStroke()
{
    QVERIFY(scene());
    // A new scene's first frame holds a blank drawing to draw on.
    drawStroke(m_started.window.get(), 0);
    QCOMPARE(history(scene()), QStringLiteral("Draw"));
    const Model::StrokeDrawing *drawing = strokeDrawing(scene(), 0, 1);
    QVERIFY(drawing);
    QCOMPARE(drawing->root().strokeCount(), 1);
    QVERIFY(!drawing->isEmpty());
    QTRY_COMPARE(m_started.window->windowTitle(), untitledTitle(QStringLiteral("*")));
}

void TestEndToEnd::savesAndReopens()
{
    QVERIFY(scene());
    const Model::StrokeDrawing *drawn = strokeDrawing(scene(), 0, 1);
    QVERIFY(drawn);
    const int strokes = drawn->root().strokeCount();
    const QImage pixels = drawn->image();

    m_started.dialogs->files.enqueue(m_scenePath);
    action(A::SaveSceneAs)->trigger();
    QVERIFY2(QFileInfo::exists(m_scenePath), qPrintable(m_started.dialogs->kinds().join(u',')));
    QVERIFY(scene()->undoStack()->isClean());
    QTRY_COMPARE(m_started.window->windowTitle(), QStringLiteral("Kelvane: walk.kl [1920x1080] 100%"));

    // Closed without a question, since nothing changed since the save.
    QVERIFY(m_started.window->close());
    QVERIFY(m_started.dialogs->kinds().filter(QStringLiteral("warning")).isEmpty());
    m_started = Started();

    m_started = startWindow({m_scenePath});
    for (int turns = 0; turns < 100 && !scene(); ++turns)
        QCoreApplication::processEvents();
    QVERIFY(scene());
    QCOMPARE(scene()->filePath(), m_scenePath);
    QVERIFY(QTest::qWaitForWindowExposed(m_started.window.get()));
    const Model::StrokeDrawing *reopened = strokeDrawing(scene(), 0, 1);
    QVERIFY(reopened);
    QCOMPARE(reopened->root().strokeCount(), strokes);
    QCOMPARE(reopened->image(), pixels);
    QCOMPARE(layerTypes(scene()), (QList<int>{1, 4, 5}));
}

void TestEndToEnd::buildsTheSheet()
{
    QVERIFY(scene());
    // Drawings on frames 2 and 3 beside the one on frame 1: the first on
    // the free frame after the last drawing, where drawing adds the blank
    // drawing it goes on, the second on a blank drawing added first; then
    // frame 3 held on frame 4.
    action(A::JumpToEnd)->trigger();
    QCOMPARE(scene()->activeFrame(), 2);
    drawStroke(m_started.window.get(), 40);
    QCOMPARE(history(scene()).section(u'|', -2), QStringLiteral("Add Blank Drawing|Draw"));
    action(A::AddBlankDrawing)->trigger();
    QCOMPARE(scene()->activeFrame(), 3);
    drawStroke(m_started.window.get(), 60);
    action(A::AddCloneDrawing)->trigger();
    QCOMPARE(scene()->activeFrame(), 4);
    QCOMPARE(CellPattern::cells(*scene(), 0), QStringLiteral("___."));
    for (int frame = 1; frame <= 3; ++frame)
        QCOMPARE(strokeDrawing(scene(), 0, frame)->root().strokeCount(), 1);

    // A numbered sequence with a gap, held, and its sound, chosen together.
    const QDir media(m_dir.filePath(QStringLiteral("media")));
    QVERIFY(QDir().mkpath(media.path()));
    QStringList files;
    const QList<QColor> colours{QColor(200, 40, 40), QColor(40, 200, 40), QColor(40, 40, 200)};
    const QStringList names{"seq_01.png", "seq_02.png", "seq_04.png"};
    for (int i = 0; i < names.size(); ++i) {
        files << media.filePath(names.at(i));
        QVERIFY(picture(colours.at(i)).save(files.last()));
    }
    files << media.filePath(QStringLiteral("voice.wav"));
    QVERIFY(TestSupport::writeFileContents(
        files.last(), AudioTestFiles::wavFile(48000, 2, 16, AudioTestFiles::tone(48000, 2, 1.0, 440.0, 660.0))));
    m_started.dialogs->files.enqueue(files.join(u'\n'));
    m_started.dialogs->runDialog = [](QDialog *dialog) {
        auto *box = qobject_cast<QMessageBox *>(dialog);
        return box && box->windowTitle() == u"Import Frames" ? int(QMessageBox::Yes) : int(QDialog::Rejected);
    };
    action(A::Import)->trigger();
    m_started.dialogs->runDialog = nullptr;

    QVERIFY(scene()->hasAudio());
    const int reference = scene()->layerCount() - 1;
    QVERIFY(scene()->isReferenceLayer(reference));
    QCOMPARE(CellPattern::cells(*scene(), reference), QStringLiteral("SEQ_01.PNGSEQ_02.PNGseq_02.pngSEQ_04.PNG"));
    QVERIFY(m_started.window->windowTitle().contains(QStringLiteral("walk.kl*")));
}

void TestEndToEnd::exportsFrames()
{
    QVERIFY(scene());
    const QString folder = m_dir.filePath(QStringLiteral("frames"));
    QVERIFY(QDir().mkpath(folder));
    m_started.dialogs->runDialog = acceptAsIs;
    m_started.dialogs->files.enqueue(QDir(folder).filePath(QStringLiteral("walk")));
    action(A::ExportFrames)->trigger();
    m_started.dialogs->runDialog = nullptr;

    // One picture per drawing and layer; clones leave their numbers out.
    const QString strokes = scene()->layerName(0);
    const QString reference = scene()->layerName(scene()->layerCount() - 1);
    QStringList expected;
    for (const int frame : {1, 2, 3})
        expected << QStringLiteral("walk.%1.%2.png").arg(strokes).arg(frame, 4, 10, QLatin1Char('0'));
    for (const int frame : {1, 2, 4})
        expected << QStringLiteral("walk.%1.%2.png").arg(reference).arg(frame, 4, 10, QLatin1Char('0'));
    expected.sort();
    QCOMPARE(QDir(folder).entryList(QDir::Files, QDir::Name), expected);
    for (const QString &name : std::as_const(expected)) {
        QImageReader reader(QDir(folder).filePath(name));
        QCOMPARE(reader.format(), QByteArray("png"));
        QCOMPARE(reader.read().size(), QSize(1920, 1080));
    }
    QCOMPARE(m_started.dialogs->kinds().filter(QStringLiteral("critical")), QStringList());
}

void TestEndToEnd::exportsThePackage()
{
    QVERIFY(scene());
    m_started.dialogs->runDialog = [this](QDialog *dialog) {
        dialog->findChild<QLineEdit *>(QStringLiteral("lineEdit_Name"))->setText(QStringLiteral("walk"));
        dialog->findChild<QLineEdit *>(QStringLiteral("lineEdit_Location"))->setText(m_dir.path());
        return acceptAsIs(dialog);
    };
    action(A::ExportExposureSheet)->trigger();
    m_started.dialogs->runDialog = nullptr;

    const QString package = m_dir.filePath(QStringLiteral("walk.oca"));
    QCOMPARE(OcaRules::ocaFault(package), QString());
    const QJsonObject document =
        QJsonDocument::fromJson(TestSupport::fileContents(QDir(package).filePath(QStringLiteral("walk.oca")))).object();
    QCOMPARE(document.value(QStringLiteral("width")).toInt(), 1920);
    QCOMPARE(document.value(QStringLiteral("height")).toInt(), 1080);
    QCOMPARE(document.value(QStringLiteral("endTime")).toInt() - document.value(QStringLiteral("startTime")).toInt(),
             4);
    QCOMPARE(m_started.dialogs->kinds().filter(QStringLiteral("critical")), QStringList());
}

void TestEndToEnd::exportsAMovie()
{
    QVERIFY(scene());
    const QString path = m_dir.filePath(QStringLiteral("walk.mp4"));
    m_started.dialogs->runDialog = acceptAsIs;
    m_started.dialogs->files.enqueue(path);
    action(A::ExportVideo)->trigger();
    m_started.dialogs->runDialog = nullptr;
    QCOMPARE(m_started.dialogs->kinds().filter(QStringLiteral("critical")), QStringList());

    const MovieReader::Movie movie = MovieReader::read(path);
    QCOMPARE(movie.error, QString());
    QCOMPARE(movie.video.codec, QStringLiteral("h264"));
    QCOMPARE(movie.video.width, 1920);
    QCOMPARE(movie.video.height, 1080);
    QCOMPARE(int(movie.video.frames.size()), 4);
    QCOMPARE(movie.metadata.value(QStringLiteral("comment")), QStringLiteral("Created with Kelvane"));
    QCOMPARE(movie.metadata.value(QStringLiteral("title")), scene()->name());
}

void TestEndToEnd::closesWithChanges()
{
    QVERIFY(scene());
    QVERIFY(!scene()->undoStack()->isClean());
    const QByteArray saved = TestSupport::fileContents(m_scenePath);
    QSettings().remove(QStringLiteral("MainWindow"));
    m_started.dialogs->asked.clear();
    m_started.dialogs->buttons.enqueue(QMessageBox::Discard);

    QVERIFY(m_started.window->close());
    QCOMPARE(m_started.dialogs->asked.size(), 1);
    QCOMPARE(m_started.dialogs->asked.first().title, QStringLiteral("Save"));
    QVERIFY(!m_started.window->isVisible());
    QVERIFY(QSettings().childGroups().contains(QStringLiteral("MainWindow")));
    // Discarded: the file on disk is the one saved before.
    QCOMPARE(TestSupport::fileContents(m_scenePath), saved);
    m_started = Started();
}

void TestEndToEnd::damagedSceneOnTheCommandLine()
{
    const QString damaged = m_dir.filePath(QStringLiteral("damaged.kl"));
    QVERIFY(TestSupport::writeFileContents(damaged, "<?xml version=\"1.0\"?>\n<KLScene><Layer"));
    m_started = startWindow({damaged});
    for (int turns = 0; turns < 100 && !scene(); ++turns)
        QCoreApplication::processEvents();

    // The reason is shown, naming the file, and a new scene opens instead.
    QVERIFY2(askedWithText(m_started.dialogs, QDir::toNativeSeparators(damaged)),
             qPrintable(m_started.dialogs->kinds().join(u',')));
    QVERIFY(scene());
    QVERIFY(scene()->filePath().isEmpty());
    QCOMPARE(layerTypes(scene()), (QList<int>{1, 4, 5}));
    QTRY_COMPARE(m_started.window->windowTitle(), untitledTitle());
}

int main(int argc, char **argv)
{
    Application application(argc, argv);
    TestEndToEnd test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_endtoend.moc"
