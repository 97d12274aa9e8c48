#pragma once

#include <QCursor>
#include <QObject>

#include <memory>

namespace Model {

// Says what the pointer does on the canvas and how it looks there. The tool
// manager owns one object per tool for the whole run; a stroke keeps a copy
// of the drawing tool that was current when it began, shared with the other
// strokes begun with the same settings (sharedCopy()).
//
// Besides its own cursor, every tool carries a cursor type that lets the
// canvas show why the tool cannot act (a hidden layer, a transparent layer,
// a forbidden cell) without switching tools. Clones start with the own
// cursor.
class Tool : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QCursor cursor READ cursor NOTIFY cursorChanged)

public:
    // Stored as a 32-bit unsigned value.
    enum class Type : quint32 {
        Pen = 0,
        Eraser = 1,
        Hand = 2,
        Zoom = 3,
        Rotate = 4,
        ZoomPanRotate = 5,
        OffPegs = 6,
        Lasso = 7,
        Cutter = 8,
        FloatingSelection = 9,
        Scrubbing = 10,
        PenAdjustment = 11,
        None = 12,
    };
    Q_ENUM(Type)

    // Sub-type of a pen or an eraser; the two families share the values, and
    // the shader family of a stroke is the pen type, or the eraser type + 3.
    enum class PenType : quint32 {
        Pencil = 0,
        Marker = 1,
        Brush = 2,
        KneadedEraser = 0,
        RubberEraser = 1,
        VinylEraser = 2,
    };
    Q_ENUM(PenType)

    // Values of cursorType(); anything but OwnCursor replaces the tool's own
    // image by the matching shared cursor.
    enum CursorType : int {
        OwnCursor = 0,
        ForbiddenCursor = 1,
        LayerNotVisibleCursor = 2,
        LayerOpacityZeroCursor = 3,
    };

    ~Tool() override;

    Type type() const { return m_type; }
    int cursorType() const { return m_cursorType; }
    // Stores the value only; the owner asks for a new cursor afterwards.
    void setCursorType(int cursorType) { m_cursorType = cursorType; }

    // A new tool of the same class, owned by the caller, with this tool's
    // parent and the own cursor type.
    virtual Tool *clone() const = 0;
    virtual QCursor cursor() const = 0;

    // A copy for strokes to keep, without a parent. Copy on write: the copy
    // last handed out is handed out again while this tool's settings are
    // still those it was made with, so that the strokes of a drawing session
    // share one copy instead of keeping one each (a tool is kilobytes, a
    // stroke often less); a change of the settings makes the next call copy
    // anew, and the strokes holding the old copy keep it unchanged.
    std::shared_ptr<const Tool> sharedCopy() const;

public Q_SLOTS:
    virtual void updateCursor();

Q_SIGNALS:
    void cursorChanged(const QCursor &cursor);

protected:
    Tool(Type type, QObject *parent);

    // The shared cursor for cursor types 1 to 3; false for the own cursor
    // and for unknown values.
    bool sharedCursorForType(QCursor &cursor) const;
    // Whether copy, made by clone() earlier, still equals what clone() would
    // make now in everything a stroke reads. The default is false, so that
    // tools whose copies strokes never keep always copy.
    virtual bool hasSettingsOf(const Tool &copy) const;

private:
    Type m_type;
    int m_cursorType = OwnCursor;
    mutable std::shared_ptr<const Tool> m_sharedCopy;
};

} // namespace Model
