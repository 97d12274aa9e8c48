#include "mainwindowtesthelpers.h"

#include "dialogs/aboutdialog.h"
#include "applicationfont.h"

#include "../audio/audiotestfiles.h"
#include "export/moviereader.h"
#include "export/ocarules.h"
#include "scenesettingscommands.h"
#include "support/cellpattern.h"
#include "support/testfiles.h"

#include "actions/actionmanager.h"
#include "drawings/imagedrawing.h"
#include "export/exportresult.h"
#include "initialize.h"
#include "settings/settings.h"

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>

namespace {

using namespace MainWindowTest;
using A = KL::Action;
using Model::ExportSettings;
using Model::ExportVideoSettings;

constexpr QSize FrameSize(160, 120);

QAction *action(A key)
{
    return Model::ActionManager::instance()->action(key);
}

// A window with a new scene of small frames, which the exports write fast.
Started startSmallScene()
{
    Started started = startWindowWithScene();
    Model::KLScene::pushCommand(
        new Commands::ChangeFrameSize(Model::KLScene::current(), FrameSize, KL::FitMode::FitModeIgnore));
    return started;
}

// Whether writeMedia writes a file of that name damaged.
bool isDamaged(const QString &name)
{
    return name.startsWith(QLatin1String("bad")) || name.startsWith(QLatin1String("header"));
}

// Writes what the file's name asks for: a picture of the frame size in a
// colour of its own (.png), a second of tone (.wav), or, for a name that
// begins with "bad", bytes that are neither, and for one that begins with
// "header", the tone's header without a sample.
QString writeMedia(const QDir &dir, const QString &name)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    const QByteArray tone = AudioTestFiles::wavFile(48000, 2, 16, AudioTestFiles::tone(48000, 2, 1.0, 440.0, 440.0));
    if (name.startsWith(QLatin1String("bad"))) {
        file.write("neither a picture nor a sound");
    } else if (name.startsWith(QLatin1String("header"))) {
        file.write(tone.left(44));
    } else if (name.endsWith(QLatin1String(".png"), Qt::CaseInsensitive)) {
        QImage picture(FrameSize, QImage::Format_RGB32);
        picture.fill(QColor::fromHsv(int(qHash(name) % 360), 200, 220));
        picture.save(&file, "PNG");
    } else {
        file.write(tone);
    }
    return path;
}

// The first reference layer's cells as an exposure sheet, empty when there
// is none (see CellPattern: drawings are named after their files).
QString referenceCells(const Model::Scene *scene)
{
    for (int layer = 0; layer < scene->layerCount(); ++layer) {
        if (scene->isReferenceLayer(layer))
            return CellPattern::cells(*scene, layer);
    }
    return QString();
}

// What the question about gaps showed, read while it is open.
struct QuestionBox
{
    QString title;
    QString text;
    QString informativeText;
    QString yesText;
    QString noText;
    bool yesIsDefault = false;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    Qt::WindowModality modality = Qt::NonModal;
};

// Answers the question about gaps with `answer` and notes what it showed.
std::function<int(QDialog *)> answerQuestion(QMessageBox::StandardButton answer, QuestionBox *seen)
{
    return [answer, seen](QDialog *dialog) {
        auto *box = qobject_cast<QMessageBox *>(dialog);
        if (!box)
            return int(QDialog::Rejected);
        seen->title = box->windowTitle();
        seen->text = box->text();
        seen->informativeText = box->informativeText();
        seen->yesText = box->button(QMessageBox::Yes) ? box->button(QMessageBox::Yes)->text() : QString();
        seen->noText = box->button(QMessageBox::No) ? box->button(QMessageBox::No)->text() : QString();
        seen->yesIsDefault = box->defaultButton() == box->button(QMessageBox::Yes);
        seen->icon = box->icon();
        seen->modality = box->windowModality();
        return int(answer);
    };
}

// Checks the named radio button of a settings dialog and accepts it
// through its OK button, as a user would.
int chooseAndAccept(QDialog *dialog, const char *radioButton)
{
    if (radioButton) {
        if (auto *button = dialog->findChild<QAbstractButton *>(QLatin1String(radioButton)))
            button->click();
    }
    dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    return dialog->result();
}

// The exposure-sheet dialog names its package itself.
std::function<int(QDialog *)> acceptPackage(const QString &name, const QString &folder,
                                            const char *radioButton = nullptr)
{
    return [name, folder, radioButton](QDialog *dialog) {
        dialog->findChild<QLineEdit *>(QStringLiteral("lineEdit_Name"))->setText(name);
        dialog->findChild<QLineEdit *>(QStringLiteral("lineEdit_Location"))->setText(folder);
        return chooseAndAccept(dialog, radioButton);
    };
}

std::function<int(QDialog *)> acceptAsIs()
{
    return [](QDialog *dialog) { return chooseAndAccept(dialog, nullptr); };
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

// Cancels every progress dialog of the window as soon as the event loop
// turns, which an export does only while it runs.
class CancelProgress
{
public:
    explicit CancelProgress(QWidget *window)
    {
        QObject::connect(&m_timer, &QTimer::timeout, window, [window] {
            const QList<QProgressDialog *> dialogs = window->findChildren<QProgressDialog *>();
            for (QProgressDialog *dialog : dialogs)
                dialog->cancel();
        });
        m_timer.start(0);
    }

private:
    QTimer m_timer;
};

bool hasAlpha(const QString &pixelFormat)
{
    const AVPixFmtDescriptor *descriptor = av_pix_fmt_desc_get(av_get_pix_fmt(pixelFormat.toLatin1().constData()));
    return descriptor && (descriptor->flags & AV_PIX_FMT_FLAG_ALPHA);
}

} // namespace

// The window's import and export commands as the user meets them: the
// check for gaps in numbered files, where each chosen file goes and the
// question about gaps, which export choices are kept and when, the files
// the three exports write, read back as other programs read them, and that
// a failed or cancelled export is never passed off as a finished one.
class TestImportExport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void gapCheck_data();
    void gapCheck();
    void importRouting_data();
    void importRouting();
    void importKeepsWhatCanBeRead_data();
    void importKeepsWhatCanBeRead();
    void namesGetTheirSuffix_data();
    void namesGetTheirSuffix();
    void settingsKeptOnlyWithATarget_data();
    void settingsKeptOnlyWithATarget();
    void framesAndPackage();
    void packageNamesTheProgram_data();
    void packageNamesTheProgram();
    void movieCarries_data();
    void movieCarries();
    void noSuccessWithoutFiles_data();
    void noSuccessWithoutFiles();
    void autosaveWaitsForExports_data();
    void autosaveWaitsForExports();

private:
    QTemporaryDir m_dir;
};

void TestImportExport::initTestCase()
{
    Startup::prepareProcess();
    QSettings().clear();
    Model::initialize();
    registerApplicationFont();
    // The tutorial would be the first question of every start.
    Model::Settings::instance()->setShowHowToAnimateOnStartup(false);
    QVERIFY(m_dir.isValid());
}

void TestImportExport::init()
{
    QDir(m_dir.path()).removeRecursively();
    QVERIFY(QDir().mkpath(m_dir.path()));
}

void TestImportExport::cleanup()
{
    // Whatever the test left open, closing without saving.
    if (Model::KLScene *klscene = Model::KLScene::current())
        klscene->scene()->undoStack()->setClean();
}

void TestImportExport::gapCheck_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("hasGaps");
    QTest::addColumn<QStringList>("sorted");
    QTest::addColumn<int>("digitPos");
    QTest::addColumn<int>("startsAboveZero");
    QTest::addColumn<int>("missingCount");

    const QStringList none;
    QTest::newRow("one missing") << QStringList{"frame4.png", "frame1.png", "frame2.png"} << true
                                 << QStringList{"frame1.png", "frame2.png", "frame4.png"} << 5 << 1 << 1;
    QTest::newRow("from zero, complete") << QStringList{"frame0.png", "frame1.png", "frame2.png"} << false
                                         << QStringList{"frame0.png", "frame1.png", "frame2.png"} << 5 << 0 << 0;
    QTest::newRow("from zero, one missing") << QStringList{"s0.png", "s2.png"} << true
                                            << QStringList{"s0.png", "s2.png"} << 1 << 0 << 1;
    QTest::newRow("padded, two missing")
        << QStringList{"walk_05.png", "walk_01.png", "walk_02.png"} << true
        << QStringList{"walk_01.png", "walk_02.png", "walk_05.png"} << 5 << 1 << 2;
    QTest::newRow("late start counts the frames before it")
        << QStringList{"walk_05.png", "walk_06.png", "walk_08.png"} << true
        << QStringList{"walk_05.png", "walk_06.png", "walk_08.png"} << 5 << 1 << 5;
    QTest::newRow("natural order") << QStringList{"img10.png", "img2.png", "img1.png"} << true
                                   << QStringList{"img1.png", "img2.png", "img10.png"} << 3 << 1 << 7;
    QTest::newRow("last run of digits") << QStringList{"shot2_take1.png", "shot2_take3.png"} << true
                                        << QStringList{"shot2_take1.png", "shot2_take3.png"} << 10 << 1 << 1;
    QTest::newRow("a number shared by two names counts once")
        << QStringList{"walk1.png", "walk01.png", "walk3.png"} << true << none << 4 << 1 << 1;
    QTest::newRow("text after the number") << QStringList{"take1_final.png", "take2.png"} << false
                                           << QStringList{"take1_final.png", "take2.png"} << 4 << 1 << -1;
    QTest::newRow("a sign is no number") << QStringList{"walk1.png", "walk+3.png"} << false << none << 4 << 1 << -1;
    QTest::newRow("above 9999") << QStringList{"walk10000.png", "walk10002.png"} << false
                                << QStringList{"walk10000.png", "walk10002.png"} << 4 << 1 << -1;
    QTest::newRow("9999 is the last") << QStringList{"walk9997.png", "walk9999.png"} << true
                                      << QStringList{"walk9997.png", "walk9999.png"} << 4 << 1 << 9997;
    QTest::newRow("prefix case differs") << QStringList{"walk01.png", "WALK03.png"} << false << none << 4 << 1 << -1;
    QTest::newRow("only zeros") << QStringList{"walk0.png", "walk00.png"} << false << none << 4 << 0 << -1;
    QTest::newRow("no number") << QStringList{"a.png", "b.png"} << false << QStringList{"a.png", "b.png"} << -1 << 1
                               << -1;
    QTest::newRow("one file") << QStringList{"walk_05.png"} << false << QStringList{"walk_05.png"} << -1 << 1 << -1;
    QTest::newRow("number too long for an int")
        << QStringList{"a99999999999.png", "a99999999999.png"} << false << none << 1 << 1 << -1;
}

void TestImportExport::gapCheck()
{
    QFETCH(QStringList, files);
    QFETCH(bool, hasGaps);
    QFETCH(QStringList, sorted);
    QFETCH(int, digitPos);
    QFETCH(int, startsAboveZero);
    QFETCH(int, missingCount);

    const QString folder = QStringLiteral("/shots/sc01/");
    for (QString &file : files)
        file.prepend(folder);
    int foundPos = -1;
    int foundAboveZero = 1;
    int foundMissing = -1;
    QCOMPARE(MainWindow::numberedSequenceHasGaps(files, foundPos, foundAboveZero, foundMissing), hasGaps);
    QCOMPARE(foundPos, digitPos);
    QCOMPARE(foundAboveZero, startsAboveZero);
    QCOMPARE(foundMissing, missingCount);
    if (!sorted.isEmpty()) {
        for (QString &file : sorted)
            file.prepend(folder);
        QCOMPARE(files, sorted);
    }
}

void TestImportExport::importRouting_data()
{
    QTest::addColumn<int>("slot");
    QTest::addColumn<QStringList>("chosen");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("asked");
    QTest::addColumn<int>("clones");
    QTest::addColumn<QString>("cells");
    QTest::addColumn<bool>("sound");

    const int import = int(A::Import);
    const int none = QMessageBox::NoButton;
    const QStringList chooser{"getOpenFileNames"};
    const QStringList question{"getOpenFileNames", "exec"};
    const QStringList gaps{"a1.png", "a5.png", "a2.png"};

    QTest::newRow("one picture") << import << QStringList{"a1.png"} << none << chooser << -1 << "A1.PNG" << false;
    QTest::newRow("gaps held") << import << gaps << int(QMessageBox::Yes) << question
                               << 2 << "A1.PNGA2.PNGa2.pnga2.pngA5.PNG" << false;
    QTest::newRow("gaps collapsed") << import << gaps << int(QMessageBox::No) << question << 2 << "A1.PNGA2.PNGA5.PNG"
                                    << false;
    QTest::newRow("question cancelled") << import << gaps << int(QMessageBox::Cancel) << question << 2 << "" << false;
    QTest::newRow("late start held") << import << QStringList{"a4.png", "a3.png"} << int(QMessageBox::Yes) << question
                                     << 2 << "INSERTED BLANKinserted blankA3.PNGA4.PNG" << false;
    QTest::newRow("sound and picture") << import << QStringList{"s.wav", "a1.png"} << none << chooser << -1 << "A1.PNG"
                                       << true;
    QTest::newRow("picture and sound") << import << QStringList{"a1.png", "s.wav"} << none << chooser << -1 << "A1.PNG"
                                       << true;
    QTest::newRow("capital WAV") << import << QStringList{"S.WAV"} << none << chooser << -1 << "" << true;
    QTest::newRow("two sounds, the first goes in") << import << QStringList{"s.wav", "t.wav"} << none << chooser << -1 << ""
                                                   << true;
    QTest::newRow("question cancelled, no sound either")
        << import << QStringList{"s.wav", "a1.png", "a3.png"} << int(QMessageBox::Cancel) << question << 1 << "" << false;
    QTest::newRow("damaged picture") << import << QStringList{"bad.png"} << none
                                     << QStringList{"getOpenFileNames", "warning"} << -1 << "" << false;
    QTest::newRow("damaged picture, sound goes in")
        << import << QStringList{"bad.png", "s.wav"} << none << QStringList{"getOpenFileNames", "warning"} << -1 << ""
        << true;
    QTest::newRow("chooser cancelled") << import << QStringList() << none << chooser << -1 << "" << false;
    QTest::newRow("reference layer") << int(A::ImportReferenceLayer) << QStringList{"a2.png", "a1.png"} << none
                                     << chooser << -1 << "A1.PNGA2.PNG" << false;
    QTest::newRow("reference layer, gaps") << int(A::ImportReferenceLayer) << QStringList{"a1.png", "a3.png"}
                                           << int(QMessageBox::Yes) << question << 1 << "A1.PNGa1.pngA3.PNG" << false;
    QTest::newRow("audio") << int(A::ImportAudio) << QStringList{"s.wav"} << none
                           << QStringList{"getOpenFileName"} << -1 << "" << true;
    QTest::newRow("damaged sound") << int(A::ImportAudio) << QStringList{"bad.wav"} << none
                                   << QStringList{"getOpenFileName", "warning"} << -1 << "" << false;
    QTest::newRow("sound of only a header") << int(A::ImportAudio) << QStringList{"header.wav"} << none
                                            << QStringList{"getOpenFileName", "warning"} << -1 << "" << false;
}

void TestImportExport::importRouting()
{
    QFETCH(int, slot);
    QFETCH(QStringList, chosen);
    QFETCH(int, answer);
    QFETCH(QStringList, asked);
    QFETCH(int, clones);
    QFETCH(QString, cells);
    QFETCH(bool, sound);

    const QDir media(m_dir.filePath(QStringLiteral("media")));
    QVERIFY(QDir().mkpath(media.path()));
    QStringList paths;
    for (const QString &name : std::as_const(chosen))
        paths << writeMedia(media, name);
    Model::Settings *settings = Model::Settings::instance();
    settings->setDefaultImportDir(QDir(m_dir.path()));

    Started started = startWindowWithScene();
    Model::Scene *scene = currentScene();
    QVERIFY(scene);
    const int layersBefore = scene->layerCount();
    const int stepsBefore = scene->undoStack()->count();
    started.dialogs->files.enqueue(paths.join(QLatin1Char('\n')));
    QuestionBox seen;
    started.dialogs->runDialog = answerQuestion(QMessageBox::StandardButton(answer), &seen);
    action(A(slot))->trigger();

    QCOMPARE(started.dialogs->kinds(), asked);
    // A refusal names the file it refuses.
    for (const auto &question : std::as_const(started.dialogs->asked)) {
        if (question.kind != u"warning")
            continue;
        QVERIFY2(std::any_of(chosen.cbegin(), chosen.cend(),
                             [&](const QString &name) { return isDamaged(name) && question.text.contains(name); }),
                 qPrintable(question.text));
    }
    const QString caption = slot == int(A::ImportAudio) ? QStringLiteral("Import Audio") : QStringLiteral("Import");
    QCOMPARE(started.dialogs->asked.first().title, caption);
    QCOMPARE(started.dialogs->asked.first().text, m_dir.path());
    if (asked.contains(QStringLiteral("exec"))) {
        QCOMPARE(seen.title, QStringLiteral("Import Frames"));
        QCOMPARE(seen.text,
                 QStringLiteral("You are importing numbered frames with gaps in the sequence.\n\nHold frame for each gap?"));
        QCOMPARE(seen.informativeText, QStringLiteral("Holding frames will add %1 clones in total.").arg(clones));
        QCOMPARE(seen.yesText, QStringLiteral("Hold Frames"));
        QCOMPARE(seen.noText, QStringLiteral("Collapse Gaps"));
        QVERIFY(seen.yesIsDefault);
        QCOMPARE(seen.icon, QMessageBox::Question);
        QCOMPARE(seen.modality, Qt::WindowModal);
    }

    QCOMPARE(referenceCells(scene), cells);
    QCOMPARE(scene->hasAudio(), sound);
    // The import folder follows the files, also when the question was
    // cancelled; a cancelled chooser leaves it.
    const QString folder = chosen.isEmpty() ? m_dir.path() : QFileInfo(media.path()).canonicalFilePath();
    QCOMPARE(settings->defaultImportDir().absolutePath(), folder);

    // Each kind of file is one step back.
    const int steps = int(!cells.isEmpty()) + int(sound);
    QCOMPARE(scene->undoStack()->count() - stepsBefore, steps);
    QCOMPARE(scene->layerCount() - layersBefore, int(!cells.isEmpty()));
    for (int i = 0; i < steps; ++i)
        scene->undoStack()->undo();
    QCOMPARE(referenceCells(scene), QString());
    QVERIFY(!scene->hasAudio());
    QCOMPARE(scene->layerCount(), layersBefore);
}

void TestImportExport::importKeepsWhatCanBeRead_data()
{
    // Pictures by name and size ("bad" names hold no picture at all).
    QTest::addColumn<QStringList>("chosen");
    QTest::addColumn<QList<QSize>>("sizes");
    QTest::addColumn<QString>("cells");
    // The files the one message names; none: no message.
    QTest::addColumn<QStringList>("named");

    const QSize none;
    QTest::newRow("pictures of three sizes")
        << QStringList{"a1.png", "a2.png", "a3.png"} << QList<QSize>{FrameSize, QSize(320, 60), QSize(30, 200)}
        << "A1.PNGA2.PNGA3.PNG" << QStringList();
    QTest::newRow("an unreadable file among them")
        << QStringList{"a1.png", "bad2.png", "a3.png"} << QList<QSize>{FrameSize, none, QSize(80, 80)}
        << "A1.PNGA3.PNG" << QStringList{"bad2.png"};
    QTest::newRow("two unreadable files") << QStringList{"bad1.png", "a2.png", "bad3.png"}
                                          << QList<QSize>{none, FrameSize, none} << "A2.PNG"
                                          << QStringList{"bad1.png", "bad3.png"};
    QTest::newRow("nothing readable") << QStringList{"bad1.png", "bad2.png"} << QList<QSize>{none, none} << ""
                                      << QStringList{"bad1.png", "bad2.png"};
}

// Pictures of any size come in together, each fitted into the frame when
// painted; files that hold no picture are left out, and the user hears once
// which.
void TestImportExport::importKeepsWhatCanBeRead()
{
    QFETCH(QStringList, chosen);
    QFETCH(QList<QSize>, sizes);
    QFETCH(QString, cells);
    QFETCH(QStringList, named);
    const QDir media(m_dir.path());
    QStringList paths;
    for (int i = 0; i < chosen.size(); ++i) {
        if (sizes.at(i).isValid()) {
            QImage picture(sizes.at(i), QImage::Format_RGB32);
            picture.fill(QColor::fromHsv(40 * i, 200, 220));
            QVERIFY(picture.save(media.filePath(chosen.at(i))));
            paths << media.filePath(chosen.at(i));
        } else {
            paths << writeMedia(media, chosen.at(i));
        }
    }

    Started started = startSmallScene();
    Model::Scene *scene = currentScene();
    const int stepsBefore = scene->undoStack()->count();
    started.dialogs->files.enqueue(paths.join(QLatin1Char('\n')));
    action(A::ImportReferenceLayer)->trigger();

    QCOMPARE(referenceCells(scene), cells);
    QCOMPARE(scene->undoStack()->count() - stepsBefore, cells.isEmpty() ? 0 : 1);
    QStringList expected{QStringLiteral("getOpenFileNames")};
    if (!named.isEmpty())
        expected << QStringLiteral("warning");
    QCOMPARE(started.dialogs->kinds(), expected);
    if (!named.isEmpty()) {
        const QString text = started.dialogs->asked.last().text;
        for (const QString &name : chosen)
            QVERIFY2(text.contains(name) == named.contains(name), qPrintable(text));
    }
    // Each picture keeps its own size; the frame is what fits it.
    for (int layer = 0; layer < scene->layerCount(); ++layer) {
        if (!scene->isReferenceLayer(layer))
            continue;
        int picture = 0;
        for (int i = 0; i < chosen.size(); ++i) {
            if (!sizes.at(i).isValid())
                continue;
            ++picture;
            const auto *drawing = static_cast<const Model::ImageDrawing *>(scene->itemAt(layer, picture)->drawing().get());
            QCOMPARE(drawing->image().size(), sizes.at(i));
        }
    }
}

void TestImportExport::namesGetTheirSuffix_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("typed");
    // A scene file of that name there before, and the answer to the
    // question whether to replace it.
    QTest::addColumn<bool>("existing");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("written");
    QTest::addColumn<QStringList>("asked");

    const int none = QMessageBox::NoButton;
    const int png = Model::ExportFramesSettings::PNG;
    const int exr = Model::ExportFramesSettings::OpenEXR;
    const QStringList saveChooser{"getSaveFileName"};
    const QStringList exportChoosers{"exec", "getSaveFileName"};

    QTest::newRow("scene") << "scene" << 0 << "walk" << false << none << QStringList{"walk.kl"} << saveChooser;
    QTest::newRow("scene, suffix typed") << "scene" << 0 << "walk.kl" << false << none << QStringList{"walk.kl"}
                                         << saveChooser;
    QTest::newRow("scene, over an older file") << "scene" << 0 << "walk" << true << int(QMessageBox::Yes)
                                               << QStringList{"walk.kl"} << QStringList{"getSaveFileName", "question"};
    QTest::newRow("scene, older file kept") << "scene" << 0 << "walk" << true << int(QMessageBox::No)
                                            << QStringList{"walk.kl"} << QStringList{"getSaveFileName", "question"};
    // The Open dialog finds scene files by ".kl" alone, whatever dots come
    // before.
    QTest::newRow("scene, a dot in the name") << "scene" << 0 << "walk.v2" << false << none
                                              << QStringList{"walk.v2.kl"} << saveChooser;
    QTest::newRow("scene, a dot in the name, over an older file")
        << "scene" << 0 << "walk.v2" << true << int(QMessageBox::Yes) << QStringList{"walk.v2.kl"}
        << QStringList{"getSaveFileName", "question"};
    QTest::newRow("scene, a dot at the end") << "scene" << 0 << "walk." << false << none << QStringList{"walk.kl"}
                                             << saveChooser;
    QTest::newRow("scene, capital suffix typed") << "scene" << 0 << "walk.KL" << false << none
                                                 << QStringList{"walk.KL"} << saveChooser;
    QTest::newRow("MP4") << "movie" << int(ExportVideoSettings::MP4) << "walk" << false << none
                         << QStringList{"walk.mp4"} << exportChoosers;
    QTest::newRow("MP4, suffix typed") << "movie" << int(ExportVideoSettings::MP4) << "walk.mp4" << false << none
                                       << QStringList{"walk.mp4"} << exportChoosers;
    QTest::newRow("GIF") << "movie" << int(ExportVideoSettings::GIF) << "walk" << false << none
                         << QStringList{"walk.gif"} << exportChoosers;
    QTest::newRow("ProRes") << "movie" << int(ExportVideoSettings::ProRes) << "walk" << false << none
                            << QStringList{"walk.mov"} << exportChoosers;
    QTest::newRow("frames") << "frames" << png << "walk" << false << none << QStringList{"walk.1.0001.png"}
                            << exportChoosers;
    QTest::newRow("frames, picture suffix typed") << "frames" << png << "walk.png" << false << none
                                                  << QStringList{"walk.1.0001.png"} << exportChoosers;
    QTest::newRow("frames, capital suffix typed") << "frames" << png << "walk.PNG" << false << none
                                                  << QStringList{"walk.1.0001.png"} << exportChoosers;
    QTest::newRow("EXR frames, suffix typed") << "frames" << exr << "walk.exr" << false << none
                                              << QStringList{"walk.1.0001.exr"} << exportChoosers;
    QTest::newRow("frames, a dot in the name") << "frames" << png << "walk.v2" << false << none
                                               << QStringList{"walk.v2.1.0001.png"} << exportChoosers;
}

// A name typed without its suffix gets the one its file is written as, so
// that the file is found where the program looks for it; frames named like
// a picture do not carry the picture's suffix in the middle of their names.
void TestImportExport::namesGetTheirSuffix()
{
    QFETCH(QString, command);
    QFETCH(int, format);
    QFETCH(QString, typed);
    QFETCH(bool, existing);
    QFETCH(int, answer);
    QFETCH(QStringList, written);
    QFETCH(QStringList, asked);

    const QDir out(m_dir.filePath(QStringLiteral("out")));
    QVERIFY(QDir().mkpath(out.path()));
    Model::Settings *settings = Model::Settings::instance();
    Model::ExportFramesSettings frames;
    frames.exportDir = out.path();
    if (command == QLatin1String("frames"))
        frames.imageFormat = Model::ExportFramesSettings::ImageFormat(format);
    settings->setExportFramesSettings(frames);
    ExportVideoSettings video;
    video.exportDir = out.path();
    if (command == QLatin1String("movie"))
        video.videoFormat = ExportVideoSettings::VideoFormat(format);
    settings->setExportVideoSettings(video);
    // The scene file the save is to write.
    const QString older = out.filePath(written.value(0));
    if (existing)
        QVERIFY(TestSupport::writeFileContents(older, "older"));

    Started started = startSmallScene();
    started.dialogs->files.enqueue(out.filePath(typed));
    if (answer != QMessageBox::NoButton)
        started.dialogs->buttons.enqueue(QMessageBox::StandardButton(answer));
    started.dialogs->runDialog = acceptAsIs();
    if (command == QLatin1String("scene")) {
        const bool saved = started.window->saveSceneAs();
        QCOMPARE(saved, answer != int(QMessageBox::No));
        if (saved) {
            QCOMPARE(currentScene()->filePath(), older);
            QCOMPARE(settings->recentFiles().value(0), older);
            QVERIFY(TestSupport::fileContents(older) != QByteArray("older"));
        } else {
            QVERIFY(currentScene()->filePath().isEmpty());
            QCOMPARE(TestSupport::fileContents(older), QByteArray("older"));
        }
    } else {
        action(command == QLatin1String("movie") ? A::ExportVideo : A::ExportFrames)->trigger();
    }
    QCOMPARE(entries(out.path()), written);
    QCOMPARE(started.dialogs->kinds(), asked);
    if (asked.contains(QStringLiteral("question")))
        QVERIFY(started.dialogs->asked.last().text.contains(QDir::toNativeSeparators(older)));
}

void TestImportExport::settingsKeptOnlyWithATarget_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("targetChosen");
    QTest::addColumn<QString>("suffix");

    const int frames = int(A::ExportFrames);
    const int movie = int(A::ExportVideo);
    QTest::newRow("frames, dialog cancelled") << frames << false << false << "";
    QTest::newRow("frames, chooser cancelled") << frames << true << false << "";
    QTest::newRow("frames, target chosen") << frames << true << true << "";
    QTest::newRow("movie, dialog cancelled") << movie << false << false << ".mp4";
    QTest::newRow("movie, chooser cancelled") << movie << true << false << ".mp4";
    QTest::newRow("movie, target chosen") << movie << true << true << ".mp4";
    QTest::newRow("package, dialog cancelled") << int(A::ExportExposureSheet) << false << false << ".oca";
    QTest::newRow("package, accepted") << int(A::ExportExposureSheet) << true << true << ".oca";
}

void TestImportExport::settingsKeptOnlyWithATarget()
{
    QFETCH(int, command);
    QFETCH(bool, accepted);
    QFETCH(bool, targetChosen);
    QFETCH(QString, suffix);

    const QString before = m_dir.filePath(QStringLiteral("before"));
    const QString chosen = m_dir.filePath(QStringLiteral("chosen"));
    QVERIFY(QDir().mkpath(before));
    QVERIFY(QDir().mkpath(chosen));
    Model::Settings *settings = Model::Settings::instance();
    Model::ExportFramesSettings frames;
    frames.exportDir = before;
    settings->setExportFramesSettings(frames);
    ExportVideoSettings video;
    video.exportDir = before;
    video.scalePercent = 25;
    settings->setExportVideoSettings(video);
    Model::ExportExposureSheetSettings sheet;
    sheet.exportDir = before;
    settings->setExportExposureSheetSettings(sheet);

    Started started = startSmallScene();
    Model::Scene *scene = currentScene();
    // Something to export.
    started.dialogs->files.enqueue(writeMedia(QDir(m_dir.path()), QStringLiteral("a1.png")));
    action(A::ImportReferenceLayer)->trigger();
    QVERIFY(!referenceCells(scene).isEmpty());
    started.dialogs->asked.clear();

    if (command == int(A::ExportExposureSheet)) {
        started.dialogs->runDialog = accepted ? acceptPackage(QStringLiteral("Walk"), chosen, "radioButton_VisibleLayers")
                                              : std::function<int(QDialog *)>();
    } else {
        started.dialogs->runDialog = [accepted](QDialog *dialog) {
            return accepted ? chooseAndAccept(dialog, "radioButton_VisibleLayers") : int(QDialog::Rejected);
        };
        if (targetChosen)
            started.dialogs->files.enqueue(QDir(chosen).filePath(QStringLiteral("Shot1") + suffix));
    }
    action(A(command))->trigger();

    const auto stored = [settings, command]() -> ExportSettings {
        switch (A(command)) {
        case A::ExportFrames:
            return settings->exportFramesSettings();
        case A::ExportVideo:
            return settings->exportVideoSettings();
        default:
            return settings->exportExposureSheetSettings();
        }
    }();
    QCOMPARE(stored.exportDir, targetChosen ? chosen : before);
    QCOMPARE(stored.layers, targetChosen ? ExportSettings::VisibleLayers : ExportSettings::AllLayers);
    QCOMPARE(entries(before), QStringList());
    QCOMPARE(entries(chosen).isEmpty(), !targetChosen);
    if (targetChosen && command == int(A::ExportVideo))
        QCOMPARE(entries(chosen), QStringList{"Shot1.mp4"});
    if (targetChosen && command == int(A::ExportExposureSheet))
        QCOMPARE(entries(chosen), QStringList{"Walk.oca"});

    // The chooser proposes the scene's name in the last folder, and every
    // action comes back once it closed.
    const qsizetype chooser = started.dialogs->kinds().indexOf(QStringLiteral("getSaveFileName"));
    QCOMPARE(chooser >= 0, command != int(A::ExportExposureSheet) && accepted);
    if (chooser >= 0) {
        QCOMPARE(started.dialogs->asked.at(chooser).text, QDir(before).filePath(scene->name() + suffix));
        QCOMPARE(started.dialogs->asked.at(chooser).title,
                 command == int(A::ExportVideo) ? QStringLiteral("Export Movie Clip") : QStringLiteral("Export Frames"));
    }
    QVERIFY(action(A::Import)->isEnabled());
    QVERIFY(action(A(command))->isEnabled());
    QVERIFY(!started.dialogs->kinds().contains(QStringLiteral("critical")));
}

void TestImportExport::framesAndPackage()
{
    Started started = startSmallScene();
    Model::Scene *scene = currentScene();
    const QDir media(m_dir.path());
    QStringList pictures;
    for (const char *name : {"b1.png", "b2.png", "b3.png"})
        pictures << writeMedia(media, QLatin1String(name));
    started.dialogs->files.enqueue(pictures.join(QLatin1Char('\n')));
    action(A::ImportReferenceLayer)->trigger();
    QCOMPARE(referenceCells(scene), QStringLiteral("B1.PNGB2.PNGB3.PNG"));

    // Frames: one picture per frame, combined, as any program reads PNG.
    const QString framesFolder = m_dir.filePath(QStringLiteral("frames"));
    QVERIFY(QDir().mkpath(framesFolder));
    started.dialogs->runDialog = [](QDialog *dialog) {
        dialog->findChild<QAbstractButton *>(QStringLiteral("checkBox_CombineLayers"))->setChecked(true);
        return chooseAndAccept(dialog, "radioButton_PNG");
    };
    started.dialogs->files.enqueue(QDir(framesFolder).filePath(QStringLiteral("walk")));
    action(A::ExportFrames)->trigger();
    const QStringList written = entries(framesFolder);
    const int referenceLayer = scene->layerCount() - 1;
    QVERIFY(scene->isReferenceLayer(referenceLayer));
    const int opacity = qRound(scene->layerOpacity(referenceLayer) * 255);
    QCOMPARE(written, (QStringList{"walk.0001.png", "walk.0002.png", "walk.0003.png"}));
    for (int frame = 0; frame < 3; ++frame) {
        const QImage image(QDir(framesFolder).filePath(written.at(frame)));
        QCOMPARE(image.size(), FrameSize);
        // The picture fills the frame, at its layer's opacity over nothing;
        // compositing may round by a step.
        const QColor found = image.pixelColor(80, 60);
        const QColor painted = QImage(pictures.at(frame)).pixelColor(80, 60);
        QVERIFY2(qAbs(found.red() - painted.red()) <= 2 && qAbs(found.green() - painted.green()) <= 2
                     && qAbs(found.blue() - painted.blue()) <= 2 && qAbs(found.alpha() - opacity) <= 1,
                 qPrintable(found.name(QColor::HexArgb) + QLatin1String(" for ") + painted.name()));
    }

    // The package, as an Open Cel Animation reader reads it.
    started.dialogs->runDialog = acceptPackage(QStringLiteral("walk"), m_dir.path());
    action(A::ExportExposureSheet)->trigger();
    const QString package = m_dir.filePath(QStringLiteral("walk.oca"));
    QCOMPARE(OcaRules::ocaFault(package), QString());
    QVERIFY(!started.dialogs->kinds().contains(QStringLiteral("critical")));
}

void TestImportExport::packageNamesTheProgram_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("word");
    QTest::newRow("name") << "originApp" << 0;
    QTest::newRow("version") << "originAppVersion" << 1;
}

// A package says which program wrote it, and which version: the name and
// version that the about box shows.
void TestImportExport::packageNamesTheProgram()
{
    QFETCH(QString, key);
    QFETCH(int, word);

    const UI::AboutDialog about;
    const QStringList shown =
        about.findChild<QLabel *>(QStringLiteral("labelVersion"))->text().split(QLatin1Char(' '));
    QCOMPARE(shown.size(), 2);
    Started started = startSmallScene();
    started.dialogs->runDialog = acceptPackage(QStringLiteral("walk"), m_dir.path());
    action(A::ExportExposureSheet)->trigger();

    const QString package = m_dir.filePath(QStringLiteral("walk.oca"));
    QCOMPARE(OcaRules::ocaFault(package), QString());
    const QJsonObject document =
        QJsonDocument::fromJson(TestSupport::fileContents(QDir(package).filePath(QStringLiteral("walk.oca")))).object();
    QCOMPARE(document.value(key).toString(), shown.at(word));
}

void TestImportExport::movieCarries_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("askAlpha");
    QTest::addColumn<bool>("askAudio");
    QTest::addColumn<bool>("sceneHasSound");
    QTest::addColumn<QString>("codec");
    QTest::addColumn<bool>("alpha");
    QTest::addColumn<int>("audioStreams");

    const int mp4 = ExportVideoSettings::MP4;
    const int mov = ExportVideoSettings::ProRes;
    const int gif = ExportVideoSettings::GIF;
    QTest::newRow("MP4 with sound") << mp4 << true << true << true << "h264" << false << 1;
    QTest::newRow("MP4, sound not asked") << mp4 << false << false << true << "h264" << false << 0;
    QTest::newRow("MP4, a scene without sound") << mp4 << false << true << false << "h264" << false << 0;
    QTest::newRow("MOV with transparency") << mov << true << false << false << "prores" << true << 0;
    QTest::newRow("MOV without transparency") << mov << false << true << true << "prores" << false << 1;
    QTest::newRow("GIF, both asked") << gif << true << true << true << "gif" << false << 0;
}

void TestImportExport::movieCarries()
{
    QFETCH(int, format);
    QFETCH(bool, askAlpha);
    QFETCH(bool, askAudio);
    QFETCH(bool, sceneHasSound);
    QFETCH(QString, codec);
    QFETCH(bool, alpha);
    QFETCH(int, audioStreams);

    Model::Settings *settings = Model::Settings::instance();
    ExportVideoSettings stored;
    stored.exportDir = m_dir.path();
    stored.videoFormat = ExportVideoSettings::VideoFormat(format);
    stored.includeAlpha = askAlpha;
    stored.includeAudio = askAudio;
    settings->setExportVideoSettings(stored);

    Started started = startSmallScene();
    Model::Scene *scene = currentScene();
    QStringList media{writeMedia(QDir(m_dir.path()), QStringLiteral("c1.png")),
                      writeMedia(QDir(m_dir.path()), QStringLiteral("c2.png"))};
    if (sceneHasSound)
        media << writeMedia(QDir(m_dir.path()), QStringLiteral("s.wav"));
    started.dialogs->files.enqueue(media.join(QLatin1Char('\n')));
    action(A::Import)->trigger();
    QCOMPARE(scene->hasAudio(), sceneHasSound);

    const QString suffix = format == int(ExportVideoSettings::MP4)      ? QStringLiteral(".mp4")
                           : format == int(ExportVideoSettings::ProRes) ? QStringLiteral(".mov")
                                                                        : QStringLiteral(".gif");
    const QString path = m_dir.filePath(QStringLiteral("clip") + suffix);
    started.dialogs->runDialog = acceptAsIs();
    started.dialogs->files.enqueue(path);
    action(A::ExportVideo)->trigger();
    QCOMPARE(started.dialogs->kinds().filter(QStringLiteral("critical")), QStringList());

    const MovieReader::Movie movie = MovieReader::read(path);
    QCOMPARE(movie.error, QString());
    QCOMPARE(movie.video.codec, codec);
    QCOMPARE(int(movie.video.frames.size()), 2);
    // A GIF decodes to colours with alpha whatever it holds.
    if (format != int(ExportVideoSettings::GIF))
        QCOMPARE(hasAlpha(movie.video.pixelFormat), alpha);
    QCOMPARE(movie.audioStreams, audioStreams);
    if (format != int(ExportVideoSettings::GIF)) {
        QCOMPARE(movie.metadata.value(QStringLiteral("title")), scene->name());
        QCOMPARE(movie.metadata.value(QStringLiteral("comment")), QStringLiteral("Created with Kelvane"));
    }

    // The preferences keep the choices as the user made them.
    const ExportVideoSettings kept = settings->exportVideoSettings();
    QCOMPARE(kept.includeAlpha, askAlpha);
    QCOMPARE(kept.includeAudio, askAudio);
    QCOMPARE(int(kept.videoFormat), format);
    QVERIFY(kept.metadata.isEmpty());
}

void TestImportExport::noSuccessWithoutFiles_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<bool>("cancel");

    QTest::newRow("frames, failed") << int(A::ExportFrames) << false;
    QTest::newRow("package, failed") << int(A::ExportExposureSheet) << false;
    QTest::newRow("movie, failed") << int(A::ExportVideo) << false;
    QTest::newRow("movie, cancelled") << int(A::ExportVideo) << true;
}

void TestImportExport::noSuccessWithoutFiles()
{
    QFETCH(int, command);
    QFETCH(bool, cancel);

    Started started = startSmallScene();
    started.dialogs->files.enqueue(writeMedia(QDir(m_dir.path()), QStringLiteral("a1.png")));
    action(A::ImportReferenceLayer)->trigger();
    started.dialogs->asked.clear();

    // A folder that cannot be: it would lie inside a file.
    const QString file = m_dir.filePath(QStringLiteral("notes.txt"));
    QVERIFY(TestSupport::writeFileContents(file, "not a folder"));
    const QString folder = cancel ? m_dir.filePath(QStringLiteral("out")) : file;
    QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("out"))));
    if (command == int(A::ExportExposureSheet)) {
        started.dialogs->runDialog = acceptPackage(QStringLiteral("walk"), folder);
    } else {
        started.dialogs->runDialog = acceptAsIs();
        started.dialogs->files.enqueue(QDir(folder).filePath(QStringLiteral("walk.mp4")));
    }
    std::unique_ptr<CancelProgress> canceller;
    if (cancel)
        canceller = std::make_unique<CancelProgress>(started.window.get());
    action(A(command))->trigger();
    canceller.reset();

    // The package's dialog asks for its target itself.
    QStringList expected{QStringLiteral("exec")};
    if (command != int(A::ExportExposureSheet))
        expected << QStringLiteral("getSaveFileName");
    if (!cancel)
        expected << QStringLiteral("critical");
    QCOMPARE(started.dialogs->kinds(), expected);
    if (!cancel) {
        QCOMPARE(started.dialogs->asked.last().title, Model::ExportResult::failureTitle());
        QVERIFY(!started.dialogs->asked.last().text.isEmpty());
    }
    QCOMPARE(entries(m_dir.filePath(QStringLiteral("out"))), QStringList());
    QCOMPARE(TestSupport::fileContents(file), QByteArray("not a folder"));
}

void TestImportExport::autosaveWaitsForExports_data()
{
    QTest::addColumn<int>("command");

    QTest::newRow("frames") << int(A::ExportFrames);
    QTest::newRow("package") << int(A::ExportExposureSheet);
    QTest::newRow("movie") << int(A::ExportVideo);
}

void TestImportExport::autosaveWaitsForExports()
{
    QFETCH(int, command);

    Started started = startSmallScene();
    MainWindow *window = started.window.get();
    started.dialogs->files.enqueue(writeMedia(QDir(m_dir.path()), QStringLiteral("a1.png")));
    action(A::ImportReferenceLayer)->trigger();
    Autosave autosave(window);
    Model::Settings *settings = Model::Settings::instance();
    settings->setAutoSaveEnabled(true);
    started.dialogs->files.enqueue(m_dir.filePath(QStringLiteral("walk.kl")));
    QVERIFY(window->saveSceneAs());
    const QString backup = m_dir.filePath(QStringLiteral("walk_backup1.kl"));
    editScene();

    // Autosave looks in, long after the change, while the user answers the
    // export's dialog and its file chooser and while the export writes: it
    // writes nothing, and every action is off while the chooser is up.
    const QString out = m_dir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(out));
    int looks = 0;
    bool wroteMeanwhile = false;
    const auto look = [&] {
        autosave.now += 10'000;
        autosave.secondLater();
        ++looks;
        wroteMeanwhile = wroteMeanwhile || QFileInfo::exists(backup);
    };
    started.dialogs->runDialog = [&](QDialog *dialog) {
        look();
        if (command == int(A::ExportExposureSheet))
            return acceptPackage(QStringLiteral("walk"), out)(dialog);
        return chooseAndAccept(dialog, nullptr);
    };
    bool actionsOff = false;
    started.dialogs->onAsked = [&](const ScriptedDialogs::Question &question) {
        if (question.kind != QLatin1String("getSaveFileName"))
            return;
        look();
        actionsOff = !action(A::Import)->isEnabled() && !action(A::ExportVideo)->isEnabled();
    };
    if (command != int(A::ExportExposureSheet))
        started.dialogs->files.enqueue(QDir(out).filePath(QStringLiteral("walk.mp4")));
    QTimer duringExport;
    QObject::connect(&duringExport, &QTimer::timeout, window, [&] {
        if (window->findChild<QProgressDialog *>())
            look();
    });
    duringExport.start(0);
    action(A(command))->trigger();
    duringExport.stop();
    started.dialogs->onAsked = nullptr;

    QVERIFY(!entries(out).isEmpty());
    QCOMPARE(actionsOff, command != int(A::ExportExposureSheet));
    QVERIFY(looks >= (command == int(A::ExportExposureSheet) ? 1 : 2));
    QVERIFY(!wroteMeanwhile);
    // Once the export is over, the backup is written at the next look.
    autosave.secondLater();
    QVERIFY(QFileInfo::exists(backup));
}

int main(int argc, char **argv)
{
    Application application(argc, argv);
    TestImportExport test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_importexport.moc"
