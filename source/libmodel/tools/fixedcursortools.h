#pragma once

#include "tools/tool.h"

namespace Model {

// Tools whose look never changes: one cursor from the pointer art, made when
// the tool is created, replaced only while the cursor type says the tool
// cannot act.
class FixedCursorTool : public Tool
{
    Q_OBJECT

public:
    // The pointer resource of a fixed-cursor tool type; empty, with a
    // warning, for any other type.
    static QString getIconFileName(Tool::Type type);

    QCursor cursor() const override;

protected:
    FixedCursorTool(Type type, QObject *parent);
    FixedCursorTool(const FixedCursorTool &other);

private:
    QCursor m_cursor;
};

class HandTool : public FixedCursorTool
{
    Q_OBJECT

public:
    explicit HandTool(QObject *parent = nullptr);
    Tool *clone() const override;

private:
    HandTool(const HandTool &other) = default;
};

class ZoomTool : public FixedCursorTool
{
    Q_OBJECT

public:
    explicit ZoomTool(QObject *parent = nullptr);
    Tool *clone() const override;

private:
    ZoomTool(const ZoomTool &other) = default;
};

class RotateTool : public FixedCursorTool
{
    Q_OBJECT

public:
    explicit RotateTool(QObject *parent = nullptr);
    Tool *clone() const override;

private:
    RotateTool(const RotateTool &other) = default;
};

class LassoTool : public FixedCursorTool
{
    Q_OBJECT

public:
    explicit LassoTool(QObject *parent = nullptr);
    Tool *clone() const override;

private:
    LassoTool(const LassoTool &other) = default;
};

class CutterTool : public FixedCursorTool
{
    Q_OBJECT

public:
    explicit CutterTool(QObject *parent = nullptr);
    Tool *clone() const override;

private:
    CutterTool(const CutterTool &other) = default;
};

// Scrubs through the frames. The canvas announces the first scrub of a
// gesture through this tool (cursorChanged, then scrubbingStarted) and keeps
// the started flag here; a clone starts unstarted.
class ScrubbingTool : public FixedCursorTool
{
    Q_OBJECT

public:
    explicit ScrubbingTool(QObject *parent = nullptr);
    Tool *clone() const override;

    bool isScrubbingStarted() const { return m_scrubbingStarted; }
    void setScrubbingStarted(bool started) { m_scrubbingStarted = started; }

Q_SIGNALS:
    void scrubbingStarted();

private:
    ScrubbingTool(const ScrubbingTool &other);

    bool m_scrubbingStarted = false;
};

} // namespace Model
