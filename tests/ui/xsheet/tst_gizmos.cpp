// The column gizmos: their rolling states driven by hover, press, release
// and focus events, their choices, and how the exposure sheet hangs them on
// its columns and turns their choices into layer colours and settings.

#include "xsheet/annotationgizmo.h"
#include "xsheet/audiogizmo.h"
#include "xsheet/colorgizmo.h"
#include "xsheet/xsheetheader.h"
#include "xsheettesthelpers.h"

#include "../../audio/audiotestfiles.h"
#include "commands/commandtesthelpers.h"
#include "layers/audiolayer.h"
#include "settings/settings.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHelpEvent>
#include <QHoverEvent>
#include <QPropertyAnimation>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>

using SheetTest::Sheet;
using TestSupport::sendMouseEvent;

namespace {

// At scale 1 a gizmo is 16 x 14 closed and 24 x 15 as a peek tab; open, a
// two-choice gizmo is 51 px tall with its rows from the bottom: the current
// value (y 37 to 50), the first choice (18 to 34) and the second (0 to 16);
// the colour gizmo is 107 px tall with the four colours centred at y 82,
// 64, 46 and 28 and the custom colour at the top.
const QSize ClosedSize(16, 14);
const QSize PeekSize(24, 15);
const QSize OpenSize(24, 51);
const QSize ColorOpenSize(24, 107);

QPoint parsePoint(const QString &text)
{
    const QStringList parts = text.split(u',');
    return QPoint(parts.value(0).toInt(), parts.value(1).toInt());
}

void hover(QWidget *widget, QEvent::Type type, QPoint at = QPoint(-1, -1))
{
    QHoverEvent event(type, at, widget->mapToGlobal(at), QPoint(-1, -1));
    QApplication::sendEvent(widget, &event);
}

// Lets the rolling animation reach its end at once.
void finishAnimation(QWidget *gizmo)
{
    auto *animation = gizmo->findChild<QPropertyAnimation *>();
    if (animation && animation->state() == QAbstractAnimation::Running)
        animation->setCurrentTime(animation->duration());
}

void click(QWidget *widget, QPoint at)
{
    sendMouseEvent(widget, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    sendMouseEvent(widget, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
}

// Opens a gizmo with a click and lets it roll down.
void open(QWidget *gizmo)
{
    click(gizmo, QPoint(gizmo->width() / 2, gizmo->height() / 2));
    finishAnimation(gizmo);
}

// Runs a script of steps, separated by spaces: "enter x,y", "move x,y",
// "leave", "press x,y", "release x,y", "click x,y" (press and release),
// "finish" (the animation ends), "focusout", "disable".
void run(QWidget *gizmo, const QString &script)
{
    const QStringList steps = script.split(u' ', Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < steps.size(); ++i) {
        const QString &step = steps.at(i);
        const auto argument = [&] { return parsePoint(steps.value(++i)); };
        if (step == u"enter") {
            hover(gizmo, QEvent::HoverEnter, argument());
        } else if (step == u"move") {
            hover(gizmo, QEvent::HoverMove, argument());
        } else if (step == u"leave") {
            hover(gizmo, QEvent::HoverLeave);
        } else if (step == u"press") {
            sendMouseEvent(gizmo, QEvent::MouseButtonPress, argument(), Qt::LeftButton, Qt::LeftButton);
        } else if (step == u"release") {
            sendMouseEvent(gizmo, QEvent::MouseButtonRelease, argument(), Qt::LeftButton, Qt::NoButton);
        } else if (step == u"click") {
            click(gizmo, argument());
        } else if (step == u"finish") {
            finishAnimation(gizmo);
        } else if (step == u"focusout") {
            QFocusEvent event(QEvent::FocusOut, Qt::OtherFocusReason);
            QApplication::sendEvent(gizmo, &event);
        } else if (step == u"disable") {
            gizmo->setEnabled(false);
        } else {
            QFAIL(qPrintable(QStringLiteral("unknown step %1").arg(step)));
        }
    }
}

QString toolTipAt(QWidget *widget, QPoint at)
{
    QToolTip::hideText();
    QHelpEvent help(QEvent::ToolTip, at, widget->mapToGlobal(at));
    QApplication::sendEvent(widget, &help);
    return help.isAccepted() ? QToolTip::text() : QString();
}

QString topText(const Sheet &sheet)
{
    const QUndoStack *stack = sheet.stack();
    return stack->index() > 0 ? stack->command(stack->index() - 1)->text() : QString();
}

} // namespace

class TestGizmos : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void stateMachine_data();
    void stateMachine();
    void toolTipsFollowTheState();
    void disabledGizmoShowsItsValueGreyed();
    void heightsAreClamped();
    void shadowFollowsTheScale();
    void annotationPenChoices();
    void colorChoices_data();
    void colorChoices();

    // On the sheet
    void sheetHangsGizmosOnTheirColumns();
    void colorGizmoChangesTheLayerColor();
    void audioGizmoUnlocksOffsetDrags();
    void gizmosLeaveWithTheirColumns();

private:
    CommandTest::TextRecorder m_texts;
};

void TestGizmos::initTestCase()
{
    TestSupport::startModel();
    QCoreApplication::installTranslator(&m_texts);
}

void TestGizmos::init()
{
    CommandTest::resetPreferences();
    Model::Settings::instance()->setUIScalePercent(100);
}

void TestGizmos::stateMachine_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QList<bool>>("locks");

    const QString opened = QStringLiteral("click 8,7 finish ");
    QTest::newRow("hover peeks") << QStringLiteral("enter 8,7") << PeekSize << QList<bool>{};
    QTest::newRow("hover on the peek tab") << QStringLiteral("enter 8,7 move 10,7") << PeekSize << QList<bool>{};
    QTest::newRow("leaving the peek tab closes") << QStringLiteral("enter 8,7 leave finish") << ClosedSize
                                                 << QList<bool>{};
    QTest::newRow("click opens") << opened << OpenSize << QList<bool>{};
    QTest::newRow("click on the peek tab opens") << QStringLiteral("enter 8,7 click 12,7 finish") << OpenSize
                                                 << QList<bool>{};
    QTest::newRow("leaving the open gizmo keeps it open") << opened + QStringLiteral("move 12,26 leave") << OpenSize
                                                          << QList<bool>{};
    QTest::newRow("choice near the top leaves a peek tab")
        << opened + QStringLiteral("click 12,8 finish") << PeekSize << QList<bool>{true};
    QTest::newRow("choice lower down closes") << opened + QStringLiteral("click 12,8 finish click 12,7 finish click 12,26 finish")
                                              << ClosedSize << QList<bool>{true, false};
    QTest::newRow("current value again closes unannounced")
        << opened + QStringLiteral("click 12,26 finish") << ClosedSize << QList<bool>{};
    QTest::newRow("the value row only closes") << opened + QStringLiteral("click 12,45 finish") << ClosedSize
                                               << QList<bool>{};
    QTest::newRow("released on another row") << opened + QStringLiteral("press 12,26 release 12,8 finish") << OpenSize
                                             << QList<bool>{};
    QTest::newRow("released between rows") << opened + QStringLiteral("click 12,35 click 12,17 finish") << OpenSize
                                           << QList<bool>{};
    QTest::newRow("released outside") << opened + QStringLiteral("press 12,26 release 40,26 finish") << OpenSize
                                      << QList<bool>{};
    QTest::newRow("focus out closes") << opened + QStringLiteral("focusout finish") << ClosedSize << QList<bool>{};
    QTest::newRow("focus out closes a peek tab") << QStringLiteral("enter 8,7 focusout finish") << ClosedSize
                                                 << QList<bool>{};
    QTest::newRow("disabled does not peek") << QStringLiteral("disable enter 8,7 move 9,7") << ClosedSize
                                            << QList<bool>{};
    QTest::newRow("disabled takes no clicks") << QStringLiteral("disable click 8,7 finish") << ClosedSize
                                              << QList<bool>{};
}

void TestGizmos::stateMachine()
{
    QFETCH(QString, script);
    QFETCH(QSize, size);
    QFETCH(QList<bool>, locks);

    QWidget holder;
    holder.resize(100, 200);
    auto *gizmo = new UI::AudioGizmo(&holder);
    gizmo->setTopCenter(50, 10);
    holder.show();
    QCOMPARE(gizmo->size(), ClosedSize);
    QSignalSpy changes(gizmo, &UI::AudioGizmo::audioOffsetLockedChanged);

    run(gizmo, script);

    QCOMPARE(gizmo->size(), size);
    // Hanging from the same point whatever its size.
    QCOMPARE(gizmo->x() + gizmo->width() / 2, 50);
    QCOMPARE(gizmo->y(), 10);
    QList<bool> announced;
    for (const QList<QVariant> &change : std::as_const(changes))
        announced.append(change.at(0).toBool());
    QCOMPARE(announced, locks);
    QCOMPARE(gizmo->isAudioOffsetLocked(), locks.isEmpty() ? false : locks.last());
}

void TestGizmos::toolTipsFollowTheState()
{
    UI::AudioGizmo gizmo;
    QCOMPARE(toolTipAt(&gizmo, QPoint(8, 7)), QStringLiteral("Choose whether to lock audio offset"));
    open(&gizmo);
    QCOMPARE(toolTipAt(&gizmo, QPoint(12, 45)), QStringLiteral("Current Setting"));
    QCOMPARE(toolTipAt(&gizmo, QPoint(12, 26)), QStringLiteral("Offset Audio by dragging"));
    QCOMPARE(toolTipAt(&gizmo, QPoint(12, 8)), QStringLiteral("Lock Audio in place"));
    // Between rows the gizmo names itself.
    QCOMPARE(toolTipAt(&gizmo, QPoint(12, 35)), QStringLiteral("Choose whether to lock audio offset"));
}

void TestGizmos::disabledGizmoShowsItsValueGreyed()
{
    UI::AudioGizmo enabled;
    UI::AudioGizmo disabled;
    disabled.setEnabled(false);
    const QImage a = enabled.grab().toImage();
    const QImage b = disabled.grab().toImage();
    QCOMPARE(a.size(), b.size());
    // The value's icon in the middle of the tab is greyed; the tab around
    // it is not.
    QVERIFY(a.pixel(8, 7) != b.pixel(8, 7));
    QCOMPARE(a.pixel(1, 12), b.pixel(1, 12));
}

void TestGizmos::heightsAreClamped()
{
    UI::AudioGizmo gizmo;
    QSignalSpy heights(&gizmo, &UI::Gizmo::gizmoHeightChanged);
    gizmo.setGizmoHeight(500);
    QCOMPARE(gizmo.gizmoHeight(), 107);
    QCOMPARE(gizmo.size(), ColorOpenSize);
    gizmo.setGizmoHeight(-3);
    QCOMPARE(gizmo.gizmoHeight(), 14);
    gizmo.setGizmoHeight(14);
    QCOMPARE(heights.count(), 2);

    Model::Settings::instance()->setUIScalePercent(150);
    gizmo.updateUISize();
    gizmo.setGizmoHeight(500);
    QCOMPARE(gizmo.gizmoHeight(), 160);
    gizmo.setGizmoHeight(0);
    QCOMPARE(gizmo.gizmoHeight(), 21);
}

void TestGizmos::shadowFollowsTheScale()
{
    UI::AudioGizmo audio;
    UI::ColorGizmo color;
    Model::Settings::instance()->setUIScalePercent(150);
    for (UI::Gizmo *gizmo : {static_cast<UI::Gizmo *>(&audio), static_cast<UI::Gizmo *>(&color)}) {
        gizmo->updateUISize();
        open(gizmo);
        // The shadow, 63 px wide at this scale, stands centred on the open
        // gizmo and reaches 13 px below it, whatever the kind of gizmo.
        const QRectF shadow = gizmo->graphicsEffect()->boundingRect();
        QCOMPARE(shadow, QRectF(-13.5, 0, 63, gizmo->height() + 13));
    }
    QCOMPARE(color.height(), 160);
    QCOMPARE(audio.height(), 77);
}

void TestGizmos::annotationPenChoices()
{
    UI::AnnotationGizmo gizmo;
    QSignalSpy changes(&gizmo, &UI::AnnotationGizmo::penTypeChanged);
    QCOMPARE(gizmo.penType(), KL::AnnotationPenType::ScribblePen);
    open(&gizmo);
    QCOMPARE(toolTipAt(&gizmo, QPoint(12, 8)), QStringLiteral("Use Drawing Tool for annotations"));
    click(&gizmo, QPoint(12, 8));
    QCOMPARE(gizmo.penType(), KL::AnnotationPenType::DrawToolPen);
    finishAnimation(&gizmo);
    open(&gizmo);
    click(&gizmo, QPoint(12, 26));
    QCOMPARE(gizmo.penType(), KL::AnnotationPenType::ScribblePen);
    QCOMPARE(changes.count(), 2);
}

void TestGizmos::colorChoices_data()
{
    QTest::addColumn<int>("y");
    QTest::addColumn<QColor>("color");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<QSize>("size");

    QTest::newRow("black") << 82 << QColor(Qt::black) << QStringLiteral("Set Layer Color to Black") << ClosedSize;
    QTest::newRow("blue") << 64 << QColor(40, 97, 184) << QStringLiteral("Set Layer Color to Blue") << ClosedSize;
    QTest::newRow("red") << 46 << QColor(196, 46, 85) << QStringLiteral("Set Layer Color to Red") << ClosedSize;
    QTest::newRow("green") << 28 << QColor(125, 180, 52) << QStringLiteral("Set Layer Color to Green") << ClosedSize;
    QTest::newRow("custom colour chooses nothing")
        << 10 << QColor() << QStringLiteral("Set Custom Layer Color") << ColorOpenSize;
    QTest::newRow("current colour") << 100 << QColor() << QStringLiteral("Current Color") << ClosedSize;
}

void TestGizmos::colorChoices()
{
    QFETCH(int, y);
    QFETCH(QColor, color);
    QFETCH(QString, toolTip);
    QFETCH(QSize, size);

    UI::ColorGizmo gizmo;
    gizmo.setLayerIdx(3);
    gizmo.setColor(Qt::darkBlue);
    QSignalSpy changes(&gizmo, &UI::ColorGizmo::colorChanged);
    QCOMPARE(toolTipAt(&gizmo, QPoint(8, 7)), QStringLiteral("Choose Layer Color"));

    open(&gizmo);
    QCOMPARE(gizmo.size(), ColorOpenSize);
    QCOMPARE(toolTipAt(&gizmo, QPoint(12, y)), toolTip);
    click(&gizmo, QPoint(12, y));
    finishAnimation(&gizmo);

    QCOMPARE(gizmo.size(), size);
    QCOMPARE(changes.count(), color.isValid() ? 1 : 0);
    if (color.isValid()) {
        QCOMPARE(changes.first().at(0).toInt(), 3);
        QCOMPARE(changes.first().at(1).value<QColor>(), color);
        QCOMPARE(gizmo.color(), color);
        // The same colour again closes without a change.
        open(&gizmo);
        click(&gizmo, QPoint(12, y));
        finishAnimation(&gizmo);
        QCOMPARE(gizmo.size(), ClosedSize);
        QCOMPARE(changes.count(), 1);
    } else {
        QCOMPARE(gizmo.color(), QColor(Qt::darkBlue));
    }
}

// On the sheet

void TestGizmos::sheetHangsGizmosOnTheirColumns()
{
    // A short layer beside a long one, sound-less audio, notes, a reference.
    Sheet sheet({QStringLiteral("AB"), QStringLiteral("ABCD"), QStringLiteral("audio"), QStringLiteral("notes"),
                 QStringLiteral("ref:A")});
    auto *header = sheet.view.findChild<UI::XSheetHeader *>();
    const QList<UI::ColorGizmo *> colors = sheet.view.findChildren<UI::ColorGizmo *>();
    auto *audio = sheet.view.findChild<UI::AudioGizmo *>();
    auto *notes = sheet.view.findChild<UI::AnnotationGizmo *>();
    QCOMPARE(colors.size(), 5);
    QVERIFY(audio && notes);

    const auto hangsUnder = [&](const QWidget *gizmo, int column) {
        const int centre = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        return gizmo->isVisibleTo(&sheet.view) && gizmo->y() == header->height()
            && std::abs(gizmo->x() + gizmo->width() / 2 - centre) <= 1;
    };
    QList<int> shownColors;
    for (const UI::ColorGizmo *gizmo : colors) {
        if (gizmo->isVisibleTo(&sheet.view))
            shownColors.append(gizmo->layerIdx());
    }
    std::sort(shownColors.begin(), shownColors.end());
    QCOMPARE(shownColors, (QList<int>{0, 1}));
    for (const UI::ColorGizmo *gizmo : colors) {
        if (gizmo->isVisibleTo(&sheet.view))
            QVERIFY(hangsUnder(gizmo, gizmo->layerIdx()));
    }
    QCOMPARE(colors.at(0)->color(), QColor(Qt::darkBlue));
    QVERIFY(hangsUnder(notes, 3));
    // Without sound there is nothing to lock.
    QVERIFY(!audio->isVisibleTo(&sheet.view));
    QVERIFY(!audio->isEnabled());

    auto *layer = qobject_cast<Model::AudioLayer *>(sheet.scene()->layerAt(2).get());
    layer->setOriginalAudioData(AudioTestFiles::wavFile(8000, 1, 16, AudioTestFiles::tone(8000, 1, 2.0, 440)));
    sheet.view.updateGizmos();
    QVERIFY(hangsUnder(audio, 2));
    QVERIFY(audio->isEnabled());
    QVERIFY(audio->isAudioOffsetLocked());

    // Scrolled sideways, the gizmos follow their columns.
    sheet.view.resize(200, 560);
    sheet.view.horizontalScrollBar()->setValue(60);
    QVERIFY(hangsUnder(colors.at(1), 1));
    QVERIFY(hangsUnder(notes, 3));
}

void TestGizmos::colorGizmoChangesTheLayerColor()
{
    Sheet sheet({QStringLiteral("AB"), QStringLiteral("ABCD")});
    UI::ColorGizmo *gizmo = nullptr;
    for (UI::ColorGizmo *candidate : sheet.view.findChildren<UI::ColorGizmo *>()) {
        if (candidate->layerIdx() == 1)
            gizmo = candidate;
    }
    QVERIFY(gizmo);
    const QColor red(196, 46, 85);

    open(gizmo);
    click(gizmo, QPoint(12, 46));
    QCOMPARE(sheet.scene()->layerColor(1), red);
    QCOMPARE(sheet.stack()->count(), 1);
    QCOMPARE(topText(sheet), QStringLiteral("Change Layer Color|Commands::ChangeLayerColor|-1"));

    sheet.stack()->undo();
    QCOMPARE(sheet.scene()->layerColor(1), QColor(Qt::darkBlue));
    QCOMPARE(gizmo->color(), QColor(Qt::darkBlue));
    sheet.stack()->redo();
    QCOMPARE(gizmo->color(), red);
    QCOMPARE(sheet.scene()->layerColor(0), QColor(Qt::darkBlue));
}

void TestGizmos::audioGizmoUnlocksOffsetDrags()
{
    Sheet sheet({QStringLiteral("A......."), QStringLiteral("audio")});
    auto *layer = qobject_cast<Model::AudioLayer *>(sheet.scene()->layerAt(1).get());
    layer->setOriginalAudioData(AudioTestFiles::wavFile(8000, 1, 16, AudioTestFiles::tone(8000, 1, 2.0, 440)));
    sheet.view.updateGizmos();
    auto *gizmo = sheet.view.findChild<UI::AudioGizmo *>();
    QVERIFY(gizmo && gizmo->isVisibleTo(&sheet.view));

    const auto dragTwoRows = [&sheet] {
        SheetTest::drag(sheet.viewport(), SheetTest::rowPath(sheet, 2, 1, {1, 2}));
    };
    dragTwoRows();
    QCOMPARE(sheet.stack()->count(), 0);

    open(gizmo);
    click(gizmo, QPoint(12, 26));
    QVERIFY(!gizmo->isAudioOffsetLocked());
    dragTwoRows();
    QCOMPARE(sheet.stack()->count(), 1);
    QCOMPARE(sheet.scene()->audioOffset(), 2.0);

    // Locked again through the gizmo.
    finishAnimation(gizmo);
    open(gizmo);
    click(gizmo, QPoint(12, 8));
    dragTwoRows();
    QCOMPARE(sheet.stack()->count(), 1);
}

void TestGizmos::gizmosLeaveWithTheirColumns()
{
    Sheet sheet({QStringLiteral("AB"), QStringLiteral("ABCD"), QStringLiteral("audio"), QStringLiteral("notes")});
    auto *layer = qobject_cast<Model::AudioLayer *>(sheet.scene()->layerAt(2).get());
    layer->setOriginalAudioData(AudioTestFiles::wavFile(8000, 1, 16, AudioTestFiles::tone(8000, 1, 2.0, 440)));
    sheet.view.updateGizmos();
    auto *audio = sheet.view.findChild<UI::AudioGizmo *>();
    auto *notes = sheet.view.findChild<UI::AnnotationGizmo *>();
    QVERIFY(audio->isVisibleTo(&sheet.view) && notes->isVisibleTo(&sheet.view));

    // Another scene, of one stroke layer: its sheet shows one colour gizmo
    // and neither of the others.
    Model::KLScene other;
    other.scene()->setFrameSize(CellPattern::FrameSize, KL::FitMode::FitModeStretch);
    CellPattern::build(*other.scene(), {QStringLiteral("ABC")});
    Model::KLScene::setCurrent(&other);
    sheet.view.setModel(other.frameRangeModel());
    sheet.view.setSelectionModel(other.selectionModel());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QVERIFY(!audio->isVisibleTo(&sheet.view));
    QVERIFY(!notes->isVisibleTo(&sheet.view));
    QList<UI::ColorGizmo *> colors = sheet.view.findChildren<UI::ColorGizmo *>();
    QCOMPARE(colors.size(), 1);
    QVERIFY(colors.first()->isVisibleTo(&sheet.view));

    sheet.view.setModel(sheet.model());
    sheet.view.setSelectionModel(sheet.handle->selectionModel());
    Model::KLScene::setCurrent(sheet.handle.get());
    QVERIFY(audio->isVisibleTo(&sheet.view) && notes->isVisibleTo(&sheet.view));
}

QTEST_MAIN(TestGizmos)
#include "tst_gizmos.moc"
