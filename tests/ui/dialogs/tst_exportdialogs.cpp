#include "dialogtesthelpers.h"
#include "dialogs/exportexposuresheetdialog.h"
#include "dialogs/exportframesdialog.h"
#include "dialogs/exportvideodialog.h"

#include "support/scripteddialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <utility>

using namespace DialogTest;
using Model::ExportExposureSheetSettings;
using Model::ExportFramesSettings;
using Model::ExportSettings;
using Model::ExportVideoSettings;

namespace {

const QStringList LayerButtons = {QStringLiteral("radioButton_AllLayers"), QStringLiteral("radioButton_VisibleLayers"),
                                  QStringLiteral("radioButton_ActiveLayerOnly")};
const QStringList CloneButtons = {QStringLiteral("radioButton_ExcludeClones"),
                                  QStringLiteral("radioButton_IncludeClones"),
                                  QStringLiteral("radioButton_SimpleUnbrokenSequence")};
const QStringList ImageFormatButtons = {QStringLiteral("radioButton_PNG"), QStringLiteral("radioButton_OpenEXR")};
const QStringList MovieFormatButtons = {QStringLiteral("radioButton_GIF"), QStringLiteral("radioButton_MP4"),
                                        QStringLiteral("radioButton_Prores")};
const QString OcaTitle = QStringLiteral("Export as OCA (Open Cel Animation)");

QString describeHead(const ExportSettings &settings)
{
    return QStringLiteral("name=%1 dir=%2 layers=%3 frames=%4 scale=%5")
        .arg(settings.name, settings.exportDir, keyOf(settings.layers), keyOf(settings.frames))
        .arg(settings.scalePercent);
}

QString describe(const ExportFramesSettings &settings)
{
    return describeHead(settings)
        + QStringLiteral(" clones=%1 format=%2 combine=%3 black=%4 alpha=%5")
              .arg(keyOf(settings.clones), keyOf(settings.imageFormat))
              .arg(settings.combineLayers)
              .arg(settings.makeAllLinesBlack)
              .arg(settings.includeAlpha);
}

QString describe(const ExportVideoSettings &settings)
{
    return describeHead(settings)
        + QStringLiteral(" format=%1 alpha=%2 audio=%3 available=%4")
              .arg(keyOf(settings.videoFormat))
              .arg(settings.includeAlpha)
              .arg(settings.includeAudio)
              .arg(settings.audioAvailable);
}

// A click where a person clicks a check box or radio button: on its
// indicator, which stays inside the button however wide the grid makes it.
void click(QDialog &dialog, const QString &name)
{
    auto *button = child<QAbstractButton>(&dialog, name.toLatin1().constData());
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(8, button->height() / 2));
}

void clickOk(QDialog &dialog)
{
    child<QDialogButtonBox>(&dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
}

QStringList comboTexts(const QComboBox *box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

struct BoxState
{
    bool enabled;
    bool checked;
};

BoxState stateOf(const QDialog &dialog, const char *name)
{
    const auto *box = child<QCheckBox>(&dialog, name);
    return {box->isEnabled(), box->isChecked()};
}

ExportFramesSettings framesRecord()
{
    ExportFramesSettings settings;
    settings.name = QStringLiteral("Walk");
    settings.exportDir = QStringLiteral("/exports");
    settings.scalePercent = 50;
    return settings;
}

ExportVideoSettings movieRecord(ExportVideoSettings::VideoFormat format, bool audioAvailable = true)
{
    ExportVideoSettings settings;
    settings.videoFormat = format;
    settings.audioAvailable = audioAvailable;
    return settings;
}

} // namespace

// The three export dialogs: what each choice writes into the record, what
// the movie dialog offers and shows per format, and where the OCA dialog
// puts the package and what it asks first. None of them may touch the
// preferences.
class TestExportDialogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void framesChoices_data();
    void framesChoices();
    void framesKeepsValuesOutsideTheEnumerations();

    void movieScaleList_data();
    void movieScaleList();
    void movieScaleMissingFromListBecomes100();
    void movieResolution_data();
    void movieResolution();
    void movieAlphaAndAudio_data();
    void movieAlphaAndAudio();
    void movieFormatSwitchKeepsChoices();
    void movieUnknownFormat();

    void ocaTarget_data();
    void ocaTarget();
    void ocaOkNeedsNameAndFolder_data();
    void ocaOkNeedsNameAndFolder();
    void ocaBrowse_data();
    void ocaBrowse();
    void ocaAudioPassesThrough();
    void ocaIntroductionFitsAtMinimumSize();

    void separatorsFollowPalette();
};

void TestExportDialogs::initTestCase()
{
    useEmptyStore();
    // Numbers shown without the test machine's digit grouping.
    QLocale::setDefault(QLocale::c());
}

void TestExportDialogs::cleanupTestCase()
{
    // The export commands store the records; the dialogs never do.
    QVERIFY(QSettings().allKeys().isEmpty());
}

void TestExportDialogs::framesChoices_data()
{
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QString>("expected");

    const auto row = [](const char *name, const QStringList &clicks,
                        const std::function<void(ExportFramesSettings &)> &edit) {
        ExportFramesSettings expected = framesRecord();
        edit(expected);
        QTest::newRow(name) << clicks << describe(expected);
    };
    row("untouched", {}, [](ExportFramesSettings &) {});
    row("visible layers, range only",
        {QStringLiteral("radioButton_VisibleLayers"), QStringLiteral("radioButton_RangeOnly")},
        [](ExportFramesSettings &s) {
            s.layers = ExportSettings::VisibleLayers;
            s.frames = ExportSettings::RangeOnly;
        });
    row("active layer only", {QStringLiteral("radioButton_ActiveLayerOnly")},
        [](ExportFramesSettings &s) { s.layers = ExportSettings::ActiveLayerOnly; });
    row("local clones", {QStringLiteral("radioButton_IncludeClones")},
        [](ExportFramesSettings &s) { s.clones = ExportFramesSettings::IncludeClones; });
    row("simple sequence", {QStringLiteral("radioButton_SimpleUnbrokenSequence")},
        [](ExportFramesSettings &s) { s.clones = ExportFramesSettings::IncludeClonesSimpleSequence; });
    row("combined and black", {QStringLiteral("checkBox_CombineLayers"), QStringLiteral("checkBox_MakeAllLinesBlack")},
        [](ExportFramesSettings &s) {
            s.combineLayers = true;
            s.makeAllLinesBlack = true;
        });
    row("OpenEXR keeps alpha", {QStringLiteral("radioButton_OpenEXR")},
        [](ExportFramesSettings &s) { s.imageFormat = ExportFramesSettings::OpenEXR; });
    row("OpenEXR without alpha", {QStringLiteral("radioButton_OpenEXR"), QStringLiteral("checkBox_IncludeAlpha")},
        [](ExportFramesSettings &s) {
            s.imageFormat = ExportFramesSettings::OpenEXR;
            s.includeAlpha = false;
        });
    row("back to PNG", {QStringLiteral("radioButton_OpenEXR"), QStringLiteral("radioButton_PNG")},
        [](ExportFramesSettings &) {});
    row("audio cannot be ticked", {QStringLiteral("checkBox_ExportAudio")}, [](ExportFramesSettings &) {});
}

void TestExportDialogs::framesChoices()
{
    QFETCH(QStringList, clicks);
    QFETCH(QString, expected);

    UI::ExportFramesDialog dialog(framesRecord());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    for (const QString &name : clicks)
        click(dialog, name);
    clickOk(dialog);

    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(describe(dialog.settings()), expected);
    // No choice governs another, and frames never carry sound.
    QVERIFY(stateOf(dialog, "checkBox_IncludeAlpha").enabled);
    const BoxState audio = stateOf(dialog, "checkBox_ExportAudio");
    QVERIFY(!audio.enabled && !audio.checked);
}

void TestExportDialogs::framesKeepsValuesOutsideTheEnumerations()
{
    // Only the three-valued enumerations have room for a value beyond them.
    ExportFramesSettings odd = framesRecord();
    odd.layers = ExportSettings::Layers(3);
    odd.clones = ExportFramesSettings::Clones(3);
    UI::ExportFramesDialog dialog(odd);

    for (const QStringList &group : {LayerButtons, CloneButtons})
        QVERIFY2(checkedNames(&dialog, group).isEmpty(), qPrintable(group.join(u' ')));
    QCOMPARE(describe(dialog.settings()), describe(odd));
}

void TestExportDialogs::movieScaleList_data()
{
    QTest::addColumn<QSize>("frameSize");
    QTest::addColumn<int>("format");
    QTest::addColumn<QStringList>("offered");

    const QStringList all = {QStringLiteral("400%"), QStringLiteral("200%"), QStringLiteral("100%"),
                             QStringLiteral("50%"), QStringLiteral("25%")};
    const QStringList fromTwice = all.mid(1);
    const QStringList fromWhole = all.mid(2);
    QTest::newRow("HD, MP4") << QSize(1920, 1080) << int(ExportVideoSettings::MP4) << all;
    QTest::newRow("HD, MOV") << QSize(1920, 1080) << int(ExportVideoSettings::ProRes) << all;
    QTest::newRow("HD, GIF") << QSize(1920, 1080) << int(ExportVideoSettings::GIF) << fromWhole;
    QTest::newRow("4K keeps 400 %") << QSize(4096, 2160) << int(ExportVideoSettings::MP4) << all;
    QTest::newRow("5000 square") << QSize(5000, 5000) << int(ExportVideoSettings::MP4) << fromTwice;
    QTest::newRow("1920 x 5000") << QSize(1920, 5000) << int(ExportVideoSettings::ProRes) << fromTwice;
    QTest::newRow("8192 square") << QSize(8192, 8192) << int(ExportVideoSettings::MP4) << fromWhole;
    QTest::newRow("8192 square, GIF") << QSize(8192, 8192) << int(ExportVideoSettings::GIF) << fromWhole;
}

void TestExportDialogs::movieScaleList()
{
    QFETCH(QSize, frameSize);
    QFETCH(int, format);
    QFETCH(QStringList, offered);

    UI::ExportVideoDialog dialog(movieRecord(ExportVideoSettings::VideoFormat(format)), frameSize);
    const auto *scale = child<QComboBox>(&dialog, "comboBoxScale");
    QCOMPARE(comboTexts(scale), offered);
    QCOMPARE(scale->currentText(), QStringLiteral("100%"));
    for (int i = 0; i < scale->count(); ++i)
        QCOMPARE(scale->itemData(i).toInt(), offered.at(i).chopped(1).toInt());
}

void TestExportDialogs::movieScaleMissingFromListBecomes100()
{
    ExportVideoSettings settings = movieRecord(ExportVideoSettings::GIF);
    settings.scalePercent = 400;
    UI::ExportVideoDialog dialog(settings, QSize(1920, 1080));
    auto *scale = child<QComboBox>(&dialog, "comboBoxScale");
    QCOMPARE(scale->currentText(), QStringLiteral("100%"));
    QCOMPARE(dialog.settings().scalePercent, 100);

    // The 400 % the record held is gone: MP4 offers it again but shows 100 %.
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    click(dialog, QStringLiteral("radioButton_MP4"));
    QCOMPARE(scale->count(), 5);
    QCOMPARE(scale->currentText(), QStringLiteral("100%"));

    scale->setCurrentIndex(scale->findText(QStringLiteral("200%")));
    QCOMPARE(dialog.settings().scalePercent, 200);
    QCOMPARE(child<QLabel>(&dialog, "labelResolution")->text(), QStringLiteral("3840 x 2160"));
}

void TestExportDialogs::movieResolution_data()
{
    QTest::addColumn<QSize>("frameSize");
    QTest::addColumn<int>("percent");
    QTest::addColumn<QString>("localeName");
    QTest::addColumn<QString>("shown");

    QTest::newRow("half HD") << QSize(1920, 1080) << 50 << QStringLiteral("C") << QStringLiteral("960 x 540");
    QTest::newRow("rounded") << QSize(1001, 1001) << 25 << QStringLiteral("C") << QStringLiteral("250 x 250");
    QTest::newRow("halves away from zero") << QSize(1002, 1006) << 25 << QStringLiteral("C")
                                           << QStringLiteral("251 x 252");
    QTest::newRow("German digits") << QSize(1920, 1080) << 100 << QStringLiteral("de_DE")
                                   << QStringLiteral("1.920 x 1.080");
}

void TestExportDialogs::movieResolution()
{
    QFETCH(QSize, frameSize);
    QFETCH(int, percent);
    QFETCH(QString, localeName);
    QFETCH(QString, shown);

    const QLocale before;
    QLocale::setDefault(QLocale(localeName));
    ExportVideoSettings settings = movieRecord(ExportVideoSettings::MP4);
    settings.scalePercent = percent;
    UI::ExportVideoDialog dialog(settings, frameSize);
    QLocale::setDefault(before);

    const auto *label = child<QLabel>(&dialog, "labelResolution");
    QCOMPARE(label->text(), shown);
    QVERIFY(!label->isEnabled());
}

void TestExportDialogs::movieAlphaAndAudio_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("audioAvailable");
    QTest::addColumn<bool>("alphaWanted");
    QTest::addColumn<bool>("audioWanted");
    QTest::addColumn<bool>("alphaEnabled");
    QTest::addColumn<bool>("alphaShown");
    QTest::addColumn<bool>("audioEnabled");
    QTest::addColumn<bool>("audioShown");

    const int gif = ExportVideoSettings::GIF;
    const int mp4 = ExportVideoSettings::MP4;
    const int mov = ExportVideoSettings::ProRes;
    QTest::newRow("GIF carries neither") << gif << true << true << true << false << false << false << false;
    QTest::newRow("MP4 with sound") << mp4 << true << true << true << false << false << true << true;
    QTest::newRow("MP4, sound not wanted") << mp4 << true << true << false << false << false << true << false;
    QTest::newRow("MP4, silent scene") << mp4 << false << false << true << false << false << false << false;
    QTest::newRow("MOV with both") << mov << true << true << true << true << true << true << true;
    QTest::newRow("MOV, alpha not wanted") << mov << true << false << true << true << false << true << true;
    QTest::newRow("MOV, silent scene") << mov << false << true << true << true << true << false << false;
}

void TestExportDialogs::movieAlphaAndAudio()
{
    QFETCH(int, format);
    QFETCH(bool, audioAvailable);
    QFETCH(bool, alphaWanted);
    QFETCH(bool, audioWanted);
    QFETCH(bool, alphaEnabled);
    QFETCH(bool, alphaShown);
    QFETCH(bool, audioEnabled);
    QFETCH(bool, audioShown);

    ExportVideoSettings settings = movieRecord(ExportVideoSettings::VideoFormat(format), audioAvailable);
    settings.includeAlpha = alphaWanted;
    settings.includeAudio = audioWanted;
    UI::ExportVideoDialog dialog(settings, QSize(1920, 1080));

    const BoxState alpha = stateOf(dialog, "checkBox_IncludeAlpha");
    const BoxState audio = stateOf(dialog, "checkBox_IncludeAudio");
    QCOMPARE(alpha.enabled, alphaEnabled);
    QCOMPARE(alpha.checked, alphaShown);
    QCOMPARE(audio.enabled, audioEnabled);
    QCOMPARE(audio.checked, audioShown);
    // The preferences keep what the user chose; the movie gets what is shown.
    QCOMPARE(describe(dialog.settings()), describe(settings));
    QCOMPARE(dialog.exportSettings().includeAlpha, alphaShown);
    QCOMPARE(dialog.exportSettings().includeAudio, audioShown);
    QCOMPARE(checkedNames(&dialog, MovieFormatButtons), QStringList{MovieFormatButtons.at(format)});
}

void TestExportDialogs::movieFormatSwitchKeepsChoices()
{
    ExportVideoSettings settings = movieRecord(ExportVideoSettings::ProRes);
    settings.includeAlpha = false;
    settings.includeAudio = true;
    UI::ExportVideoDialog dialog(settings, QSize(1920, 1080));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    click(dialog, QStringLiteral("checkBox_IncludeAlpha"));
    click(dialog, QStringLiteral("radioButton_MP4"));
    QCOMPARE(stateOf(dialog, "checkBox_IncludeAlpha").checked, false);
    QCOMPARE(dialog.settings().includeAlpha, true);
    QCOMPARE(dialog.exportSettings().includeAlpha, false);

    click(dialog, QStringLiteral("checkBox_IncludeAudio"));
    click(dialog, QStringLiteral("radioButton_GIF"));
    click(dialog, QStringLiteral("radioButton_Prores"));
    QCOMPARE(stateOf(dialog, "checkBox_IncludeAlpha").checked, true);
    QCOMPARE(stateOf(dialog, "checkBox_IncludeAudio").checked, false);
    clickOk(dialog);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    const ExportVideoSettings chosen = dialog.settings();
    QCOMPARE(chosen.videoFormat, ExportVideoSettings::ProRes);
    QVERIFY(chosen.includeAlpha && !chosen.includeAudio);
}

void TestExportDialogs::movieUnknownFormat()
{
    ExportVideoSettings settings = movieRecord(ExportVideoSettings::VideoFormat(3), false);
    settings.includeAudio = true;
    UI::ExportVideoDialog dialog(settings, QSize(640, 480));
    QVERIFY(checkedNames(&dialog, MovieFormatButtons).isEmpty());
    const BoxState alpha = stateOf(dialog, "checkBox_IncludeAlpha");
    QVERIFY(alpha.enabled && !alpha.checked);
    const BoxState audio = stateOf(dialog, "checkBox_IncludeAudio");
    QVERIFY(!audio.enabled && !audio.checked);
    QCOMPARE(describe(dialog.settings()), describe(settings));
}

void TestExportDialogs::ocaTarget_data()
{
    QTest::addColumn<QString>("name");
    // What stands at out/Walk.oca before: "", "folder", "file", "link to folder", "dangling link".
    QTest::addColumn<QString>("existing");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("asked");
    QTest::addColumn<bool>("accepted");
    // Where the package goes, relative to the chosen folder.
    QTest::addColumn<QString>("folder");

    const int yes = QMessageBox::Yes;
    const int no = QMessageBox::No;
    const QStringList none;
    const QStringList folderQuestion = {QStringLiteral("question:Remove existing directory?")};
    const QStringList fileQuestion = {QStringLiteral("question:Remove existing file?")};
    const QStringList refused = {QStringLiteral("warning:") + OcaTitle};
    QTest::newRow("new package") << "Walk" << "" << yes << none << true << ".";
    QTest::newRow("into a subfolder") << "shots/Walk" << "" << yes << none << true << "shots";
    QTest::newRow("inner .. stays inside") << "shots/../Walk" << "" << yes << none << true << ".";
    QTest::newRow("replace a folder") << "Walk" << "folder" << yes << folderQuestion << true << ".";
    QTest::newRow("keep a folder") << "Walk" << "folder" << no << folderQuestion << false << "";
    QTest::newRow("replace a file") << "Walk" << "file" << yes << fileQuestion << true << ".";
    QTest::newRow("keep a file") << "Walk" << "file" << no << fileQuestion << false << "";
    QTest::newRow("link to a folder") << "Walk" << "link to folder" << yes << fileQuestion << true << ".";
    QTest::newRow("dangling link") << "Walk" << "dangling link" << no << fileQuestion << false << "";
    QTest::newRow("parent folder") << "../Walk" << "" << yes << refused << false << "";
    QTest::newRow("absolute name") << "%ROOT%/elsewhere/Walk" << "" << yes << refused << false << "";
    QTest::newRow("forbidden character") << "Wa?lk" << "" << yes << refused << false << "";
    QTest::newRow("overlong name") << QString(100, u'w') << "" << yes << refused << false << "";
}

void TestExportDialogs::ocaTarget()
{
    QFETCH(QString, name);
    QFETCH(QString, existing);
    QFETCH(int, answer);
    QFETCH(QStringList, asked);
    QFETCH(bool, accepted);
    QFETCH(QString, folder);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString out = root.filePath(QStringLiteral("out"));
    const QString target = out + QStringLiteral("/Walk.oca");
    QVERIFY(QDir().mkpath(out + QStringLiteral("/kept")));
    if (existing == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(target + QStringLiteral("/layer")));
    else if (existing == QLatin1String("file"))
        QVERIFY(QFile(target).open(QIODevice::WriteOnly));
    else if (existing == QLatin1String("link to folder"))
        QVERIFY(QFile::link(out + QStringLiteral("/kept"), target));
    else if (existing == QLatin1String("dangling link"))
        QVERIFY(QFile::link(out + QStringLiteral("/nothing"), target));

    ExportExposureSheetSettings settings;
    settings.name = name.replace(QStringLiteral("%ROOT%"), root.path());
    settings.exportDir = out;
    TestSupport::ScriptedDialogs dialogs;
    dialogs.buttons.enqueue(QMessageBox::StandardButton(answer));
    UI::ExportExposureSheetDialog dialog(settings, dialogs);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    clickOk(dialog);

    QStringList questions;
    for (const auto &question : std::as_const(dialogs.asked))
        questions << question.kind + u':' + question.title;
    QCOMPARE(questions, asked);
    if (!asked.isEmpty() && asked.first().startsWith(QLatin1String("question")))
        QVERIFY(dialogs.asked.first().text.contains(QDir::toNativeSeparators(target)));
    QCOMPARE(dialog.isVisible(), !accepted);
    QCOMPARE(dialog.result(), accepted ? int(QDialog::Accepted) : int(QDialog::Rejected));
    const ExportExposureSheetSettings result = dialog.settings();
    if (accepted) {
        QCOMPARE(result.name, QStringLiteral("Walk.oca"));
        QCOMPARE(result.exportDir, QDir::cleanPath(out + u'/' + folder));
    } else {
        QCOMPARE(result.name, settings.name);
        QCOMPARE(result.exportDir, settings.exportDir);
    }
    // Asking removes nothing: the exporter replaces the package later.
    QVERIFY(QDir(out + QStringLiteral("/kept")).exists());
    if (!existing.isEmpty())
        QVERIFY(QFileInfo(target).isSymLink() || QFileInfo::exists(target));
}

void TestExportDialogs::ocaOkNeedsNameAndFolder_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("location");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("both given") << "Walk" << "/exports" << true;
    QTest::newRow("no name") << "" << "/exports" << false;
    QTest::newRow("blank name") << "   " << "/exports" << false;
    QTest::newRow("only a folder") << "shots/" << "/exports" << false;
    QTest::newRow("no location") << "Walk" << "" << false;
    QTest::newRow("blank location") << "Walk" << " " << false;
}

void TestExportDialogs::ocaOkNeedsNameAndFolder()
{
    QFETCH(QString, name);
    QFETCH(QString, location);
    QFETCH(bool, enabled);

    ExportExposureSheetSettings settings;
    settings.name = QStringLiteral("Walk");
    settings.exportDir = QStringLiteral("/exports");
    TestSupport::ScriptedDialogs dialogs;
    UI::ExportExposureSheetDialog dialog(settings, dialogs);
    child<QLineEdit>(&dialog, "lineEdit_Name")->setText(name);
    child<QLineEdit>(&dialog, "lineEdit_Location")->setText(location);
    const QPushButton *ok = child<QDialogButtonBox>(&dialog, "buttonBox")->button(QDialogButtonBox::Ok);
    QCOMPARE(ok->isEnabled(), enabled);
    QCOMPARE(ok->text(), QStringLiteral("Export OCA"));

    if (!enabled) {
        // Enter or a direct call gets no further than the button.
        dialog.confirmOverwrite();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(dialogs.asked.isEmpty());
    }
}

void TestExportDialogs::ocaBrowse_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("shown");

    QTest::newRow("folder chosen") << "/elsewhere" << "/elsewhere";
    QTest::newRow("cancelled") << "" << "/exports";
}

void TestExportDialogs::ocaBrowse()
{
    QFETCH(QString, chosen);
    QFETCH(QString, shown);

    ExportExposureSheetSettings settings;
    settings.name = QStringLiteral("Walk");
    settings.exportDir = QStringLiteral("/exports");
    TestSupport::ScriptedDialogs dialogs;
    if (!chosen.isEmpty())
        dialogs.files.enqueue(chosen);
    UI::ExportExposureSheetDialog dialog(settings, dialogs);
    child<QPushButton>(&dialog, "pushButton_Browse")->click();

    QCOMPARE(dialogs.kinds(), QStringList{QStringLiteral("getExistingDirectory")});
    QCOMPARE(dialogs.asked.first().text, QStringLiteral("/exports"));
    QCOMPARE(child<QLineEdit>(&dialog, "lineEdit_Location")->text(), shown);
    // The field is read at OK only.
    QCOMPARE(dialog.settings().exportDir, QStringLiteral("/exports"));
}

void TestExportDialogs::ocaAudioPassesThrough()
{
    QTemporaryDir root;
    ExportExposureSheetSettings settings;
    settings.name = QStringLiteral("Walk");
    settings.exportDir = root.path();
    settings.includeAudio = true;
    settings.imageFormat = ExportExposureSheetSettings::OpenEXR;
    TestSupport::ScriptedDialogs dialogs;
    UI::ExportExposureSheetDialog dialog(settings, dialogs);
    const BoxState audio = stateOf(dialog, "checkBox_ExportAudio");
    QVERIFY(!audio.enabled && !audio.checked);
    QCOMPARE(checkedNames(&dialog, ImageFormatButtons), QStringList{QStringLiteral("radioButton_OpenEXR")});

    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    click(dialog, QStringLiteral("radioButton_VisibleLayers"));
    click(dialog, QStringLiteral("radioButton_PNG"));
    clickOk(dialog);
    const ExportExposureSheetSettings result = dialog.settings();
    QVERIFY(result.includeAudio);
    QCOMPARE(result.layers, ExportSettings::VisibleLayers);
    QCOMPARE(result.imageFormat, ExportExposureSheetSettings::PNG);
}

void TestExportDialogs::ocaIntroductionFitsAtMinimumSize()
{
    TestSupport::ScriptedDialogs dialogs;
    UI::ExportExposureSheetDialog dialog(ExportExposureSheetSettings(), dialogs);
    // As the main window opens its dialogs.
    dialog.resize(1, 1);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const auto *introduction = child<QLabel>(&dialog, "label_More");
    QVERIFY(introduction->height() >= introduction->heightForWidth(introduction->width()));
    QVERIFY(introduction->openExternalLinks());
    const QString colour = introduction->palette().color(QPalette::WindowText).name();
    QVERIFY(introduction->text().contains(QStringLiteral("color:") + colour));
}

void TestExportDialogs::separatorsFollowPalette()
{
    const QStringList six = {QStringLiteral("line"),   QStringLiteral("line_2"), QStringLiteral("line_3"),
                             QStringLiteral("line_4"), QStringLiteral("line_5"), QStringLiteral("line_6")};
    UI::ExportFramesDialog frames(framesRecord());
    QVERIFY(linesFollowPalette(&frames, six));
    TestSupport::ScriptedDialogs dialogs;
    UI::ExportExposureSheetDialog sheet(ExportExposureSheetSettings(), dialogs);
    QVERIFY(linesFollowPalette(&sheet, six));
    UI::ExportVideoDialog movie(ExportVideoSettings(), QSize(640, 480));
    QVERIFY(linesFollowPalette(&movie, six.mid(0, 4)));
}

QTEST_MAIN(TestExportDialogs)
#include "tst_exportdialogs.moc"
