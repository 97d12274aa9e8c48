#pragma once

#include "strokes/singlestroke.h"

#include <QObject>
#include <QRect>

#include <memory>

namespace Model {

class StrokeEnginePrivate;
class Tool;

// Draws one live pen stroke on a rectangle of its owner's surface, away from
// any scene: the exposure sheet writes its handwritten annotations with it.
//
// The stroke works in coordinates relative to the rectangle's top-left corner,
// with the rectangle's size as its frame; samples come in and rectangles go
// out in the owner's coordinates. While the pen moves the stroke is refitted
// every 20 ms, and half a second after the last accepted sample it is fitted
// all the way to the pen. Each change of the stroke's mask is reported by
// rectChanged so that the owner repaints only that region.
//
// The engine owns the stroke until endStroke() hands it over; a stroke that a
// new beginStroke() interrupts is discarded. GUI thread only.
class StrokeEngine : public QObject
{
    Q_OBJECT

public:
    using InputPoint = SingleStroke::InputPoint;

    explicit StrokeEngine(QObject *parent = nullptr);
    ~StrokeEngine() override;

    // Starts a stroke on canvas with its first sample. A null tool stands for
    // the tool manager's current tool.
    void beginStroke(QRect canvas, const InputPoint &point, const Tool *tool);
    // Ignored without a stroke in progress, and for a sample within a pixel
    // of the previous one.
    void addPoint(const InputPoint &point);
    // Finishes the stroke and hands it over; null without a stroke.
    std::unique_ptr<SingleStroke> endStroke();
    bool hasActiveStroke() const;
    // The stroke being drawn, for painting it live; null without one. Its
    // mask is in canvas coordinates.
    const SingleStroke *activeStroke() const;

Q_SIGNALS:
    void hasActiveStrokeChanged(bool hasActiveStroke);
    void rectChanged(QRect rect);

private Q_SLOTS:
    // Driven by the 20 ms and 500 ms timers.
    void updateTick();
    void finishTick();

private:
    // Rasterises the newest segment and reports what changed.
    void updateMask();

    std::unique_ptr<StrokeEnginePrivate> d;
};

} // namespace Model
