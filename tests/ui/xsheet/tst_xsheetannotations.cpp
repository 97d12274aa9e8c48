#include "xsheet/xsheet.h"

#include "xsheettesthelpers.h"

#include "commands/commandtesthelpers.h"
#include "support/testsupport.h"
#include "tools/toolmanager.h"

#include <QCoreApplication>
#include <QImage>
#include <QTest>

using SheetTest::Sheet;
using TestSupport::sendMouseEvent;
using TestSupport::sendTablet;

namespace {

constexpr int NotesLayer = 1;
constexpr int FrameCount = 5;

// A place on the notes column: x as a fraction of its width, y as a frame
// number plus a fraction of that frame's row (2.5 is the middle of frame 2).
QPointF onNotes(const Sheet &sheet, QPointF place)
{
    const int frame = int(place.y());
    const QRect cell = sheet.view.visualRect(sheet.cell(frame, NotesLayer)).adjusted(2, 6, -1, -6);
    return QPointF(cell.left() + place.x() * cell.width(), cell.top() + (place.y() - frame) * sheet.view.rowHeight());
}

QList<QImage> notes(const Model::Scene &scene)
{
    QList<QImage> images;
    for (int frame = 1; frame <= FrameCount; ++frame)
        images.append(scene.annotationImage(frame));
    return images;
}

// The frames whose note differs between two lists.
QList<int> changedFrames(const QList<QImage> &before, const QList<QImage> &after)
{
    QList<int> frames;
    for (int i = 0; i < before.size(); ++i) {
        if (before.at(i) != after.at(i))
            frames.append(i + 1);
    }
    return frames;
}

bool hasInk(const QImage &note)
{
    for (int y = 0; y < note.height(); ++y) {
        const uchar *row = note.constScanLine(y);
        for (int x = 0; x < note.width(); ++x) {
            if (row[x] != 0)
                return true;
        }
    }
    return false;
}

} // namespace

class TestXSheetAnnotations : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void strokes_data();
    void strokes();
    void liveStrokeShowsOnTheSheet();

private:
    bool m_gl = false;
    CommandTest::TextRecorder m_texts;
};

void TestXSheetAnnotations::initTestCase()
{
    TestSupport::startModel();
    QCoreApplication::installTranslator(&m_texts);
    m_gl = TestSupport::startRenderer(QSize(512, 512));
}

void TestXSheetAnnotations::init()
{
    CommandTest::resetPreferences();
    Model::Settings::instance()->setUIScalePercent(100);
}

void TestXSheetAnnotations::strokes_data()
{
    QTest::addColumn<QString>("tool"); // "pen" or "eraser"
    QTest::addColumn<bool>("tablet");
    QTest::addColumn<QList<QPointF>>("path");
    QTest::addColumn<QList<int>>("notedFrames"); // a full note there beforehand
    QTest::addColumn<QString>("text"); // of the step pushed, empty for none
    QTest::addColumn<int>("children");
    QTest::addColumn<QList<int>>("changed");

    using Path = QList<QPointF>;
    const QString one = QStringLiteral("Add Annotation|Commands::AddAnnotation|-1");
    QTest::newRow("pen on one row") << "pen" << false << Path{{0.1, 2.3}, {0.4, 2.5}, {0.8, 2.6}} << QList<int>{}
                                    << one << 0 << QList<int>{2};
    QTest::newRow("pen on one row with the tablet") << "pen" << true << Path{{0.1, 2.3}, {0.4, 2.5}, {0.8, 2.6}}
                                                    << QList<int>{} << one << 0 << QList<int>{2};
    QTest::newRow("pen across three rows") << "pen" << false << Path{{0.3, 1.5}, {0.35, 2.5}, {0.4, 3.5}}
                                           << QList<int>{} << "Add Annotations" << 3 << QList<int>{1, 2, 3};
    QTest::newRow("pen across three rows with the tablet")
        << "pen" << true << Path{{0.3, 1.5}, {0.35, 2.5}, {0.4, 3.5}} << QList<int>{} << "Add Annotations" << 3
        << QList<int>{1, 2, 3};
    QTest::newRow("pen onto a full note") << "pen" << false << Path{{0.1, 4.3}, {0.6, 4.6}} << QList<int>{4}
                                          << QString() << 0 << QList<int>{};
    QTest::newRow("eraser over empty cells") << "eraser" << false << Path{{0.3, 1.5}, {0.35, 2.5}, {0.4, 3.5}}
                                             << QList<int>{} << QString() << 0 << QList<int>{};
    QTest::newRow("eraser on one empty cell") << "eraser" << false << Path{{0.1, 2.3}, {0.8, 2.6}} << QList<int>{}
                                              << QString() << 0 << QList<int>{};
    QTest::newRow("eraser click without a move") << "eraser" << false << Path{{0.5, 2.5}} << QList<int>{}
                                                 << QString() << 0 << QList<int>{};
    QTest::newRow("eraser across a note") << "eraser" << false << Path{{0.3, 1.5}, {0.35, 2.5}, {0.4, 3.5}}
                                          << QList<int>{2} << "Add Annotations" << 1 << QList<int>{2};
}

// A stroke over rows writes each row's share into that frame's note; a
// stroke over several rows is one step, and one that changes nothing is
// none. Undo gives back every note, redo the new ones.
void TestXSheetAnnotations::strokes()
{
    if (!m_gl)
        QSKIP(TestSupport::NoOpenGL);
    QFETCH(QString, tool);
    QFETCH(bool, tablet);
    QFETCH(QList<QPointF>, path);
    QFETCH(QList<int>, notedFrames);
    QFETCH(QString, text);
    QFETCH(int, children);
    QFETCH(QList<int>, changed);

    Model::ToolManager::instance()->setLastDrawingToolType(tool == u"eraser" ? Model::Tool::Type::Eraser
                                                                             : Model::Tool::Type::Pen);
    Sheet sheet({QStringLiteral("A") + QString(FrameCount - 1, u'.'), QStringLiteral("notes")});
    for (int frame : notedFrames)
        sheet.scene()->setAnnotationImage(frame, TestSupport::alpha8(QSize(400, 56), 255));
    const QList<QImage> before = notes(*sheet.scene());

    QWidget *viewport = sheet.viewport();
    quint64 time = 1000;
    QList<QPointF> points;
    for (const QPointF &place : path)
        points.append(onNotes(sheet, place));
    if (tablet) {
        QVERIFY(sendTablet(viewport, QEvent::TabletPress, points.first(), time));
        for (const QPointF &point : points)
            QVERIFY(sendTablet(viewport, QEvent::TabletMove, point, time += 10));
        QVERIFY(sendTablet(viewport, QEvent::TabletRelease, points.last(), time += 10));
    } else {
        sendMouseEvent(viewport, QEvent::MouseButtonPress, points.first(), Qt::LeftButton, Qt::LeftButton,
                       Qt::NoModifier, time);
        for (const QPointF &point : points)
            sendMouseEvent(viewport, QEvent::MouseMove, point, Qt::NoButton, Qt::LeftButton, Qt::NoModifier, time += 10);
        sendMouseEvent(viewport, QEvent::MouseButtonRelease, points.last(), Qt::LeftButton, Qt::NoButton,
                       Qt::NoModifier, time += 10);
    }

    const QList<QImage> after = notes(*sheet.scene());
    QCOMPARE(sheet.stack()->count(), text.isEmpty() ? 0 : 1);
    if (text.isEmpty()) {
        QCOMPARE(changedFrames(before, after), QList<int>{});
        return;
    }
    const QUndoCommand *step = sheet.stack()->command(0);
    QCOMPARE(step->text(), text);
    QCOMPARE(step->childCount(), children);
    QCOMPARE(changedFrames(before, after), changed);
    for (int frame : changed)
        QVERIFY2(hasInk(after.at(frame - 1)), qPrintable(QStringLiteral("frame %1").arg(frame)));

    sheet.stack()->undo();
    QCOMPARE(changedFrames(before, notes(*sheet.scene())), QList<int>{});
    sheet.stack()->redo();
    QCOMPARE(changedFrames(after, notes(*sheet.scene())), QList<int>{});
}

void TestXSheetAnnotations::liveStrokeShowsOnTheSheet()
{
    if (!m_gl)
        QSKIP(TestSupport::NoOpenGL);
    Model::ToolManager::instance()->setLastDrawingToolType(Model::Tool::Type::Pen);
    Sheet sheet({QStringLiteral("A.."), QStringLiteral("notes")});
    QWidget *viewport = sheet.viewport();
    const QRect cell = sheet.view.visualRect(sheet.cell(2, NotesLayer)).adjusted(2, 6, -1, -6);
    const QImage blank = viewport->grab(cell).toImage();

    sendMouseEvent(viewport, QEvent::MouseButtonPress, onNotes(sheet, {0.1, 2.5}), Qt::LeftButton, Qt::LeftButton);
    sendMouseEvent(viewport, QEvent::MouseMove, onNotes(sheet, {0.5, 2.5}), Qt::NoButton, Qt::LeftButton);
    sendMouseEvent(viewport, QEvent::MouseMove, onNotes(sheet, {0.9, 2.5}), Qt::NoButton, Qt::LeftButton);
    const QImage live = viewport->grab(cell).toImage();
    QVERIFY(live != blank);
    QCOMPARE(sheet.stack()->count(), 0);

    sendMouseEvent(viewport, QEvent::MouseButtonRelease, onNotes(sheet, {0.9, 2.5}), Qt::LeftButton, Qt::NoButton);
    QCOMPARE(sheet.stack()->count(), 1);
    // The note stays where the live stroke was.
    QVERIFY(viewport->grab(cell).toImage() != blank);
}

QTEST_MAIN(TestXSheetAnnotations)
#include "tst_xsheetannotations.moc"
