#include "papertesthelpers.h"

#include "drawingcontentcommands.h"

#include "strokes/floatingselection.h"
#include "support/testsupport.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <cmath>

using namespace PaperTest;
using Placement = Model::FloatingSelection::Transform;

namespace {

// Selection coordinates to the widget: the paper here shows drawing pixels
// as widget pixels.
QPointF onScreen(const Placement &placement, QPointF selectionPoint)
{
    return (placement.third * placement.second * placement.first).inverted().map(selectionPoint);
}

bool isSound(const QTransform &t)
{
    const double values[] = {t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy()};
    for (double value : values) {
        if (!std::isfinite(value))
            return false;
    }
    return std::abs(t.determinant()) > 1e-9;
}

bool near(QPointF a, QPointF b)
{
    return QLineF(a, b).length() < 1e-6;
}

} // namespace

// The floating selection's handles: each drag ends with its handle under the
// pointer and one placement record; the record goes through the undo
// history like any edit; no drag makes the placement infinite or flat.
class TestPaperSelection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void handlesFollowThePointer_data();
    void handlesFollowThePointer();
    void scalingOntoThePivotStaysFinite_data();
    void scalingOntoThePivotStaysFinite();
    void dragThenUndo();
    void flips_data();
    void flips();
    void pressOutsideStamps();
    void autoPan_data();
    void autoPan();

private:
    // A selection of the given rectangle of ink, the paper showing it in the
    // selection tool, and every record pushed as the main window pushes it.
    void start(QRect content = QRect(40, 30, 100, 80));
    // Press at from, move through to, release there.
    void drag(QPointF from, QPointF to, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    Placement placement() const { return m_handle->floatingSelectionTransform(); }

    std::unique_ptr<Model::KLScene> m_handle;
    std::unique_ptr<ShownPaper> m_shown;
    std::unique_ptr<QSignalSpy> m_records;
};

void TestPaperSelection::initTestCase()
{
    TestSupport::startModel();
}

void TestPaperSelection::init()
{
    CommandTest::resetPreferences();
    Model::ToolManager::instance()->setCurrentTool(Model::Tool::Type::Pen);
    QCursor::setPos(-1000, -1000);
}

void TestPaperSelection::cleanup()
{
    m_records.reset();
    m_shown.reset();
    m_handle.reset();
    Model::KLScene::setCurrent(nullptr);
}

void TestPaperSelection::start(QRect content)
{
    m_handle = makeScene(QStringLiteral("X"));
    QImage image(content.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::darkBlue);
    m_handle->setFloatingSelection(
        std::make_unique<Model::FloatingSelection>(TestSupport::bitmapStroke(content, 255), image, 1.0));
    m_shown = std::make_unique<ShownPaper>(m_handle.get());
    Model::KLScene *handle = m_handle.get();
    QObject::connect(&m_shown->paper, &UI::Paper::floatingSelectionTransformChanged, handle,
                     [handle](const Placement &record) {
                         Model::KLScene::pushCommand(new Commands::FloatingSelectionTransform(handle, record));
                     });
    // The pivot in the very middle.
    m_handle->setFloatingSelectionTransform({{}, {}, {}, QRectF(content).center()});
    m_records = std::make_unique<QSignalSpy>(&m_shown->paper, &UI::Paper::floatingSelectionTransformChanged);
    Model::ToolManager::instance()->setCurrentTool(Model::Tool::Type::FloatingSelection);
}

void TestPaperSelection::drag(QPointF from, QPointF to, Qt::KeyboardModifiers modifiers)
{
    Pointer pointer(&m_shown->paper);
    pointer.mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, modifiers);
    pointer.mouse(QEvent::MouseMove, (from + to) / 2.0, Qt::LeftButton, modifiers);
    pointer.mouse(QEvent::MouseMove, to, Qt::LeftButton, modifiers);
    pointer.mouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, modifiers);
}

// The selection covers (40, 30) to (140, 110) with its pivot in the middle,
// (90, 70): the rotate handle sits at the top middle, the scale handle at the
// bottom right, the scale-and-rotate handle at the top right.
void TestPaperSelection::handlesFollowThePointer_data()
{
    QTest::addColumn<QPointF>("from");
    QTest::addColumn<QPointF>("to");
    QTest::addColumn<bool>("shift");
    QTest::addColumn<QPointF>("follower");

    QTest::newRow("move") << QPointF(70.0, 60.0) << QPointF(100.0, 95.0) << false << QPointF(70.0, 60.0);
    // The second move goes, and only it: the first is the step to undo.
    QTest::newRow("move, then a second move with an undo during it")
        << QPointF(70.0, 60.0) << QPointF(100.0, 95.0) << false << QPointF(70.0, 60.0);
    QTest::newRow("scale") << QPointF(140.0, 110.0) << QPointF(170.0, 125.0) << false << QPointF(140.0, 110.0);
    QTest::newRow("scale inwards") << QPointF(140.0, 110.0) << QPointF(100.0, 90.0) << false << QPointF(140.0, 110.0);
    QTest::newRow("scale evenly with shift") << QPointF(140.0, 110.0) << QPointF(165.0, 130.0) << true
                                             << QPointF(140.0, 110.0);
    QTest::newRow("rotate a quarter") << QPointF(90.0, 30.0) << QPointF(130.0, 70.0) << false << QPointF(90.0, 30.0);
    QTest::newRow("rotate a little") << QPointF(90.0, 30.0) << QPointF(100.0, 70.0 - std::sqrt(1500.0)) << false
                                     << QPointF(90.0, 30.0);
    // The top right corner is (50, -40) from the pivot: a quarter turn
    // clockwise and half as large again is (60, 75).
    QTest::newRow("scale and rotate") << QPointF(140.0, 30.0) << QPointF(150.0, 145.0) << false
                                      << QPointF(140.0, 30.0);
    QTest::newRow("scale and rotate outwards") << QPointF(140.0, 30.0) << QPointF(165.0, 0.0) << false
                                               << QPointF(140.0, 30.0);
}

void TestPaperSelection::handlesFollowThePointer()
{
    QFETCH(QPointF, from);
    QFETCH(QPointF, to);
    QFETCH(bool, shift);
    QFETCH(QPointF, follower);

    start();
    QCOMPARE(placement().center, QPointF(90.0, 70.0));
    const Placement before = placement();
    drag(from, to, shift ? Qt::ShiftModifier : Qt::NoModifier);
    const bool undoing = QByteArray(QTest::currentDataTag()).contains("undo");
    if (undoing) {
        const QList<QPointF> second{to, to + QPointF(5.0, -2.0), to + QPointF(15.0, -6.0), to + QPointF(25.0, -10.0)};
        Pointer(&m_shown->paper).stroke(second, false, Qt::NoModifier, [this] { m_handle->undo(); });
    }

    QCOMPARE(m_records->count(), 1);
    const QPointF landed = onScreen(placement(), follower);
    QVERIFY2(near(landed, to), qPrintable(QStringLiteral("at %1, %2").arg(landed.x()).arg(landed.y())));
    // Only a move takes the pivot along.
    if (!QByteArray(QTest::currentDataTag()).startsWith("move"))
        QVERIFY(near(onScreen(placement(), placement().center), QPointF(90.0, 70.0)));
    if (!undoing)
        return;
    const Placement moved = placement();
    m_handle->undo();
    QCOMPARE(placement(), before);
    m_handle->redo();
    QCOMPARE(placement(), moved);
}

// Scale drags that end where a factor's denominator is zero, with and
// without Shift, and one that moves the pivot first.
void TestPaperSelection::scalingOntoThePivotStaysFinite_data()
{
    QTest::addColumn<QPointF>("pivotTo");
    QTest::addColumn<QPointF>("to");
    QTest::addColumn<bool>("shift");

    const QPointF stay(90.0, 70.0);
    QTest::newRow("onto the pivot") << stay << stay << false;
    QTest::newRow("onto the pivot with shift") << stay << stay << true;
    QTest::newRow("onto the pivot's row") << stay << QPointF(170.0, 70.0) << false;
    QTest::newRow("onto the pivot's column") << stay << QPointF(90.0, 150.0) << false;
    // (50, 40) from the pivot, dragged by (-10, -90): 40 * 50 - 50 * 40 = 0.
    QTest::newRow("across the diagonal with shift") << stay << QPointF(130.0, 20.0) << true;
    QTest::newRow("pivot on the right edge") << QPointF(140.0, 70.0) << QPointF(100.0, 150.0) << false;
    QTest::newRow("pivot on the bottom edge") << QPointF(90.0, 110.0) << QPointF(100.0, 150.0) << false;
}

void TestPaperSelection::scalingOntoThePivotStaysFinite()
{
    QFETCH(QPointF, pivotTo);
    QFETCH(QPointF, to);
    QFETCH(bool, shift);

    start();
    if (pivotTo != QPointF(90.0, 70.0))
        drag(QPointF(90.0, 70.0), pivotTo);
    // Straight onto the target, then a step past it and back.
    Pointer pointer(&m_shown->paper);
    const Qt::KeyboardModifiers modifiers = shift ? Qt::ShiftModifier : Qt::NoModifier;
    pointer.mouse(QEvent::MouseButtonPress, {140.0, 110.0}, Qt::LeftButton, modifiers);
    pointer.mouse(QEvent::MouseMove, to, Qt::LeftButton, modifiers);
    QTest::keyClick(&m_shown->paper, Qt::Key_Shift);
    pointer.mouse(QEvent::MouseMove, to + QPointF(0.5, 0.5), Qt::LeftButton, modifiers);
    pointer.mouse(QEvent::MouseMove, to, Qt::LeftButton, modifiers);
    pointer.mouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, modifiers);

    const Placement record = m_records->last().at(0).value<Placement>();
    QVERIFY(isSound(record.first));
    QVERIFY(isSound(record.second));
    QVERIFY(isSound(record.third));
    QVERIFY(std::isfinite(record.center.x()) && std::isfinite(record.center.y()));
    // The selection can still be taken and moved.
    const QPointF inside = onScreen(record, QPointF(60.0, 50.0));
    m_records->clear();
    drag(inside, inside + QPointF(5.0, 5.0));
    QCOMPARE(m_records->count(), 1);
}

// Each finished drag is one step of the history; undo gives the selection
// and the paper the placement before it.
void TestPaperSelection::dragThenUndo()
{
    start();
    const Placement before = placement();
    drag({70.0, 60.0}, {100.0, 90.0});
    // The rotate handle, now at the top middle of the moved selection.
    drag({120.0, 60.0}, {160.0, 100.0});
    const Placement after = placement();
    QVERIFY(!(after == before));
    QCOMPARE(m_records->last().at(0).value<Placement>(), after);

    QUndoStack *stack = m_handle->scene()->undoStack();
    QCOMPARE(stack->count(), 2);
    stack->undo();
    stack->undo();
    QCOMPARE(placement(), before);
    // The paper follows: the selection is taken where it was.
    m_records->clear();
    drag({45.0, 35.0}, {55.0, 45.0});
    QCOMPARE(m_records->count(), 1);
    QVERIFY(near(onScreen(placement(), QPointF(45.0, 35.0)), QPointF(55.0, 45.0)));
}

void TestPaperSelection::flips_data()
{
    QTest::addColumn<QRect>("content");
    QTest::addColumn<QPointF>("button");
    QTest::addColumn<QPointF>("releaseAt");
    QTest::addColumn<double>("m11");
    QTest::addColumn<double>("m22");

    const QRect large(40, 30, 100, 80);
    QTest::newRow("horizontally") << large << QPointF(140.0, 70.0) << QPointF(140.0, 70.0) << -1.0 << 1.0;
    QTest::newRow("vertically") << large << QPointF(90.0, 110.0) << QPointF(91.0, 108.0) << 1.0 << -1.0;
    QTest::newRow("released off the button") << large << QPointF(140.0, 70.0) << QPointF(170.0, 70.0) << 1.0 << 1.0;
    // A 30 x 20 selection still has its buttons 70 pixels apart.
    QTest::newRow("small, horizontally") << QRect(80, 60, 30, 20) << QPointF(130.0, 70.0) << QPointF(130.0, 70.0)
                                         << -1.0 << 1.0;
}

// A click on a flip button mirrors the selection about its middle; a second
// click gives the placement before.
void TestPaperSelection::flips()
{
    QFETCH(QRect, content);
    QFETCH(QPointF, button);
    QFETCH(QPointF, releaseAt);
    QFETCH(double, m11);
    QFETCH(double, m22);

    start(content);
    const Placement before = placement();
    drag(button, releaseAt);
    const bool flipped = m11 < 0.0 || m22 < 0.0;
    QCOMPARE(m_records->count(), flipped ? 1 : 0);
    QCOMPARE(placement().first.m11(), m11);
    QCOMPARE(placement().first.m22(), m22);
    QVERIFY(near(onScreen(placement(), QRectF(content).center()), QRectF(content).center()));
    if (flipped) {
        // The button went over with the side of the selection it stands on.
        drag(onScreen(placement(), button), onScreen(placement(), releaseAt));
        QVERIFY(placement().first.isIdentity());
        QCOMPARE(placement(), before);
    }
}

// A press outside the selection puts it down where it is: it reports the
// keys held and starts no drag.
void TestPaperSelection::pressOutsideStamps()
{
    start();
    QSignalSpy stamps(&m_shown->paper, &UI::Paper::floatingSelectionStamped);
    drag({10.0, 140.0}, {70.0, 60.0}, Qt::ControlModifier);
    QCOMPARE(stamps.count(), 1);
    QCOMPARE(stamps.at(0).at(0).value<Qt::KeyboardModifiers>(), Qt::ControlModifier);
    QCOMPARE(m_records->count(), 0);
    QVERIFY(placement().third.isIdentity());
}

void TestPaperSelection::autoPan_data()
{
    // What happens while the selection is held at the right edge: nothing
    // ("held"), or another tool is taken part-way, as a held key or a tool
    // key takes it, and the button is let go in that tool ("... let go
    // there") or back in the selection tool.
    QTest::addColumn<QString>("meanwhile");
    QTest::addColumn<int>("tool");

    const int hand = int(Model::Tool::Type::Hand);
    const int zpr = int(Model::Tool::Type::ZoomPanRotate);
    const int pen = int(Model::Tool::Type::Pen);
    QTest::newRow("held at the edge until the paper would leave") << "held" << -1;
    QTest::newRow("hand tool taken, let go there") << "let go there" << hand;
    QTest::newRow("zoom-pan-rotate taken, let go there") << "let go there" << zpr;
    QTest::newRow("pen taken by its key, let go there") << "let go there" << pen;
    QTest::newRow("hand tool taken and put back, let go") << "put back" << hand;
}

// A selection moved near the paper's edge scrolls the view by five pixels
// a step (the timer's expiry is played here, not waited for) and stays
// under the pointer, until the paper would leave the inset viewport.
// Scrolling stops with the release and with any change of tool, and
// however the drag ends, the placement the paper shows is the one the
// scene keeps: a stamp puts the selection where the user saw it.
void TestPaperSelection::autoPan()
{
    QFETCH(QString, meanwhile);
    QFETCH(int, tool);

    start();
    UI::Paper &paper = m_shown->paper;
    auto *timer = paper.findChild<QTimer *>(QStringLiteral("autoPanTimer"));
    QVERIFY(timer);
    const auto step = [timer] {
        if (timer->isActive())
            QMetaObject::invokeMethod(timer, "timeout");
    };
    // The frame point shown at the widget's origin: it grows by the scroll.
    const auto scrolled = [&paper] { return paper.widgetToDrawing().map(QPointF(0.0, 0.0)); };

    const QPointF from(70.0, 60.0);
    const QPointF grabbed = paper.widgetToDrawing().map(from);
    // Inside the 50 pixels along the right edge.
    const QPointF edge(paper.width() - 20.0, 60.0);
    Pointer pointer(&paper);
    pointer.mouse(QEvent::MouseButtonPress, from);
    pointer.mouse(QEvent::MouseMove, edge);
    QVERIFY(timer->isActive());
    const QPointF before = scrolled();
    step();
    step();
    QVERIFY(near(scrolled() - before, QPointF(10.0, 0.0)));

    if (meanwhile == u"held") {
        for (int i = 0; i < 100; ++i)
            step();
        // The paper still reaches the viewport inset by 50 pixels, and one
        // step more would take it out.
        const double right = paper.widgetToDrawing().inverted().map(QPointF(Frame.width(), 0.0)).x();
        QVERIFY2(right >= 50.0 && right - 5.0 < 50.0, qPrintable(QString::number(right)));
        QVERIFY(timer->isActive());
        pointer.mouse(QEvent::MouseButtonRelease, edge);
    } else {
        Model::ToolManager::instance()->setCurrentTool(Model::Tool::Type(tool));
        QVERIFY(!timer->isActive());
        const QPointF frozen = scrolled();
        step();
        step();
        QVERIFY(near(scrolled(), frozen));
        if (meanwhile == u"put back")
            Model::ToolManager::instance()->setCurrentTool(Model::Tool::Type::FloatingSelection);
        pointer.mouse(QEvent::MouseButtonRelease, edge);
    }
    QVERIFY(!timer->isActive());

    // One record, which leaves the grabbed point under the pointer.
    QCOMPARE(m_records->count(), 1);
    const QPointF landed = paper.widgetToDrawing().inverted().map(onScreen(placement(), grabbed));
    QVERIFY2(near(landed, edge), qPrintable(QStringLiteral("at %1, %2").arg(landed.x()).arg(landed.y())));

    // Back in the selection tool, the paper paints the selection where the
    // scene's record puts it.
    Model::ToolManager::instance()->setCurrentTool(Model::Tool::Type::FloatingSelection);
    const QImage shown = paper.grab().toImage();
    paper.setFloatingSelectionTransform(placement());
    QCOMPARE(paper.grab().toImage(), shown);
}

QTEST_MAIN(TestPaperSelection)
#include "tst_paperselection.moc"
