#include "paper/drawingarea.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

// The frame around the paper: it holds the paper edge to edge and tells
// where its edges are on screen.
class TestDrawingArea : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void edgesAreReported_data();
    void edgesAreReported();
    void holdsThePaper();
};

void TestDrawingArea::edgesAreReported_data()
{
    QTest::addColumn<bool>("moving");
    QTest::addColumn<bool>("resizing");
    QTest::addColumn<int>("centreReports");
    QTest::addColumn<int>("topLeftReports");

    QTest::newRow("resized") << false << true << 1 << 0;
    QTest::newRow("moved") << true << false << 1 << 1;
    QTest::newRow("moved and resized") << true << true << 2 << 1;
}

void TestDrawingArea::edgesAreReported()
{
    QFETCH(bool, moving);
    QFETCH(bool, resizing);
    QFETCH(int, centreReports);
    QFETCH(int, topLeftReports);

    QWidget window;
    window.resize(800, 600);
    UI::DrawingArea area(&window);
    area.setGeometry(10, 20, 400, 301);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy centres(&area, &UI::DrawingArea::leftAndRightCenterMoved);
    QSignalSpy topLeft(&area, &UI::DrawingArea::topLeftMoved);

    const QPoint position = moving ? QPoint(30, 40) : area.pos();
    const QSize size = resizing ? QSize(500, 201) : area.size();
    if (moving)
        area.move(position);
    if (resizing)
        area.resize(size);

    QCOMPARE(centres.count(), centreReports);
    QCOMPARE(topLeft.count(), topLeftReports);
    const QList<QVariant> last = centres.last();
    QCOMPARE(last.at(0).toPoint(), window.mapToGlobal(position + QPoint(0, size.height() / 2)));
    QCOMPARE(last.at(1).toPoint(), window.mapToGlobal(position + QPoint(size.width(), size.height() / 2)));
}

void TestDrawingArea::holdsThePaper()
{
    UI::DrawingArea area;
    QCOMPARE(area.focusPolicy(), Qt::NoFocus);
    QVERIFY(!area.paper());
    area.resize(320, 240);
    auto *first = new QWidget;
    area.setPaper(first);
    area.show();
    QVERIFY(QTest::qWaitForWindowExposed(&area));
    QCOMPARE(area.paper(), first);
    QCOMPARE(first->parentWidget(), &area);
    QCOMPARE(first->geometry(), area.rect());

    // A new paper takes its place; the old one goes.
    QPointer<QWidget> old(first);
    auto *second = new QWidget;
    area.setPaper(second);
    QCOMPARE(area.paper(), second);
    QTRY_VERIFY(old.isNull());
    QTRY_COMPARE(second->geometry(), area.rect());
    area.setPaper(nullptr);
    QVERIFY(!area.paper());
}

QTEST_MAIN(TestDrawingArea)
#include "tst_drawingarea.moc"
