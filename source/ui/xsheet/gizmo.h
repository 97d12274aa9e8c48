#pragma once

#include <QPoint>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QWidget>

#include <memory>

class QSvgRenderer;

namespace UI {

class GizmoPrivate;

// A small pop-down selector that hangs from the head of an exposure-sheet
// column. Closed, it is a tab showing its current value; the pointer resting
// on it grows it into a slightly larger peek tab; a click unrolls it
// downwards into a column of rows, one per choice, the current value at the
// bottom; a click on a row chooses it and rolls the gizmo up again.
//
// States: closed (0), open (1), peek (2) and closing (3, an animation
// toward the closed height that ends closed). A disabled gizmo never peeks
// and shows its value greyed, but opens on a click like any other.
//
// Rows count from the bottom: 0 shows the current value, 1 to 4 are
// choices upwards and 5 is the top row; 6 stands for none. A press and a
// release on the same row choose it: row 0 only closes, rows 1 to 4 choose
// and close, row 5 chooses and stays open. After a choice released near the
// top the gizmo stays as a peek tab, else it closes completely.
//
// Sizes follow the UI scale; the widget keeps its horizontal centre
// whatever its width, so that it stays under the column head it was placed
// at with setTopCenter.
class Gizmo : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int gizmoHeight READ gizmoHeight WRITE setGizmoHeight NOTIFY gizmoHeightChanged)

public:
    enum GizmoSC : int {
        CurrentSection = 0,
        Section1 = 1,
        Section2 = 2,
        Section3 = 3,
        Section4 = 4,
        TopSection = 5,
        NoSection = 6,
    };
    Q_ENUM(GizmoSC)

    explicit Gizmo(QWidget *parent = nullptr);
    ~Gizmo() override;

    // Everything that the gizmo's painting shows. A picture painted at one
    // look shows the gizmo for as long as the look stays the same.
    struct Look
    {
        QSize size;
        double scale = 0.0;
        bool enabled = false;
        int hoveredRow = NoSection;
        int pressedRow = NoSection;
        quint64 value = 0;

        bool operator==(const Look &other) const = default;
    };
    Look look() const;

    int gizmoHeight() const;
    // The number of choice rows shown while open; 5 unless told.
    void setSectionCount(int count);
    void updateUISize();

public Q_SLOTS:
    void setTopCenter(QPoint topCenter);
    void setTopCenter(int x, int y);
    // Clamped to the closed and open heights; the gizmo takes the open width.
    void setGizmoHeight(int height);

Q_SIGNALS:
    void gizmoHeightChanged(int height);
    void sectionSelected(UI::Gizmo::GizmoSC sc);

protected:
    bool event(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

    // The value that the rows show, as a number that changes with it.
    virtual quint64 shownValue() const;
    // The icon of a row (row 0: the current value) inside rect.
    virtual void paintSectionIcon(QPainter *painter, const QRectF &rect, int row);
    // The tool tip of a row while open; of row 6 (the gizmo's title) while
    // not. Empty: no tool tip.
    virtual QString sectionText(int row) const;

    // For the colour gizmo, which keeps the state machine and draws rows of
    // its own.
    //
    // A row from 1 to 5 released on while open; the base emits
    // sectionSelected.
    virtual void chooseSection(int row);
    // The height while open.
    virtual int openHeight() const;
    // Where a release after a choice leaves the gizmo peeking: at or above
    // this height in widget pixels.
    virtual int peekReleaseHeight() const;
    // The metrics, after the UI scale changed.
    virtual void updateMetrics();
    double scale() const;
    // The part of the base image under the widget, drawn without smoothing.
    void paintBase(QPainter *painter) const;
    // A row's rectangle in widget pixels, at its place in the open column.
    QRectF sectionRect(int row) const;
    // The pressed row, or the hovered one while none is pressed.
    bool isHighlighted(int row) const;
    // Pressed and still under the pointer.
    bool isPushed(int row) const;
    bool isOpen() const;
    // The horizontal shift of the open image's middle in the widget: the
    // widget is narrower than the image while closed.
    double imageShift() const;
    // An SVG's default size fitted into rect keeping its aspect, centred.
    static void paintFitted(QSvgRenderer &renderer, QPainter *painter, const QRectF &rect);
    // The icons of a gizmo with two choices: row 1 shows the first, row 2
    // the second and row 0 whichever is chosen.
    static void paintTwoChoiceIcon(QPainter *painter, const QRectF &rect, int row, QSvgRenderer &first,
                                   QSvgRenderer &second, bool secondChosen);
    // Of the texts of such a gizmo (the value's, the first and second
    // choice's, its title) the one of a row; null for rows without one.
    static const char *twoChoiceText(int row, const char *const (&texts)[4]);

private:
    std::unique_ptr<GizmoPrivate> d;
    friend class GizmoPrivate;
};

} // namespace UI
