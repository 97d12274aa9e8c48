#pragma once

#include "strokes/stroke.h"

#include <QPainterPath>
#include <QRect>
#include <QTransform>

#include <functional>
#include <memory>

namespace Model {

class CompoundStrokePrivate;

// A group of strokes painted in order, with three things that act on all of
// them together: an erase path (what lies inside is wiped), a clip path (what
// lies outside is wiped; empty means no clipping) and a transform from the
// members' coordinates to the outer ones. Both paths are in the members'
// coordinates. The root of every stroke drawing is one.
//
// Invariants:
// - The compound owns its members; none of them is empty after an erase or a
//   clip (those that become empty are removed at once).
// - A path or transform applies to exactly the content that existed when it
//   was set: before new content would fall under a non-empty erase path or a
//   transform other than the identity, the old content moves down into a
//   nested compound that keeps them.
// - boundingRect() is cached in outer coordinates and recomputed after every
//   change. Eraser strokes never enlarge it; a clip path that contains all
//   content and an erase path that touches no member are dropped then.
//
// Rendering composes the members on a canvas of their own, pens through the
// draw table and erasers through the erase table, so an eraser lightens only
// what lies before it in the same compound; the canvas is then wiped under the
// erase path and outside the clip path and drawn onto the target. Canvases
// and the renderer's work are limited to the part of the clip that the
// content can reach, each member to its own part. A nested compound that
// lands where its parent's canvas is still blank composes there directly, and
// a tree with more levels of canvases than MaximumCanvases is rendered in
// bands: a render holds a bounded number of area-sized buffers at any depth.
//
// Depth: each cut followed by more drawing nests the content one level
// deeper, so a long-edited drawing goes thousands of levels down. Nothing
// walks the tree on the call stack: reading, writing, copying, rendering,
// erasing and destroying keep their own list of the levels they are in, so
// a tree of any depth the edits build, or a record holds, is as safe as a
// flat one.
//
// Records: read() stops at the first damage it finds, keeps the members read
// before it and leaves the stream's error status for the caller; a nested
// compound whose record is cut short or damaged goes with its members, since
// the paths and transform that belong to them follow them, and nothing after
// the damage is read. An unknown member type code, a negative member count,
// a malformed path, a path or transform with a value that no group holds (see
// Stroke::isWithinLimits and Stroke::isPossibleTransform) all mark the stream
// QDataStream::ReadCorruptData. A damaged bitmap member loses only its image
// (see BitmapStroke).
//
// The paths and transform that a compound takes are those its record can
// carry and its reader takes back: setTransform(), erase() and setClipPath()
// refuse any other, so that what is written always reads back whole.
class CompoundStroke : public Stroke
{
public:
    // Asked after each stroke of a long render with how many strokes of the
    // tree are done and how many there are (strokeCount()); once before the
    // first one with 0. Returning false cancels the render.
    using Progress = std::function<bool(int done, int total)>;

    // No members, null rectangle, empty paths, identity transform.
    CompoundStroke();
    // A deep copy.
    CompoundStroke(const CompoundStroke &other);
    ~CompoundStroke() override;

    int type() const override;
    std::unique_ptr<Stroke> clone() const override;
    QRect render(QImage &target, QRect clip, const QTransform &transform, QPoint paperOffset,
                 double renderScale) const override;
    QRect boundingRect() const override;
    bool isEmpty() const override;
    // path is in outer coordinates. Members that the path covers whole go
    // away; the pixels under it are the erase path's business. Always true.
    bool eraseInside(const QPainterPath &path) override;
    // Drops the members that path (in outer coordinates) does not touch.
    void clipTo(const QPainterPath &path) override;
    void write(QDataStream &stream) const override;

    static std::unique_ptr<CompoundStroke> read(QDataStream &stream);

    // Appends stroke (after nesting the old content when the erase path or
    // the transform would otherwise apply to it); a single stroke gives up
    // its mask, which members never use. False for a null stroke.
    bool addStroke(std::unique_ptr<Stroke> stroke);
    // Adds path to the erase path and removes the members it covers whole.
    // False, and nothing changes, when there are no members or the path
    // reaches beyond the coordinate limit. Callers bake the transform first.
    bool erase(const QPainterPath &path);
    QPainterPath erasePath() const;
    // Stores path and, unless it is empty, drops the members it misses.
    // False, and nothing changes, for a path beyond the coordinate limit.
    bool setClipPath(const QPainterPath &path);
    QPainterPath clipPath() const;
    // False, and nothing changes, for a transform that no group holds.
    bool setTransform(const QTransform &transform);
    QTransform transform() const;
    // Moves the content with its transform and paths into a nested compound,
    // so that this one's transform is the identity again.
    void bakeTransform();
    // Removes and returns the last member; null when there is none. Taking
    // back the member whose addition moved the content down a level (under
    // an erase path or a transform) moves it up again, so that the compound
    // is as it was before that member came.
    std::unique_ptr<Stroke> takeLast();

    int memberCount() const;
    // Null outside 0 .. memberCount() - 1.
    const Stroke *member(int index) const;
    // All strokes of the tree: each member counts one, and a nested compound
    // adds its own count.
    int strokeCount() const;

    // Replaces all content by one bitmap stroke: the compound rendered inside
    // boundingRect() (cut to limit when limit is valid) at scale image pixels
    // per drawing pixel (held to 1 .. BitmapStroke::maximumResolutionFactor,
    // and lowered until the image fits RleImage::maximumImageBytes). Content
    // outside limit is lost. Returns false, with nothing changed, when
    // progress cancels or the image cannot be made (it would not fit even at
    // one pixel per drawing pixel).
    bool collapse(int scale, QRect limit, const Progress &progress = {});

private:
    class RenderProgress;
    class RenderPass;
    struct RenderLevel;

    QRect render(QImage &target, QRect clip, const QTransform &transform, QPoint paperOffset,
                 double renderScale, RenderProgress *progress) const;
    // A render in one go keeps at most this many canvases at once; a deeper
    // tree is rendered in bands.
    static constexpr int MaximumCanvases = 4;

    // The compound and everything below it: target's pixel (0, 0) lies at
    // origin of the pass's grid, and area (in that grid, inside target) is
    // where this compound may change target. inPlace: target is all 0 inside
    // area, and the compound composes on it directly instead of on a canvas
    // of its own.
    QRect render(RenderPass &pass, QImage &target, QPoint origin, QRect area,
                 const QTransform &transform, bool inPlace) const;
    // What a level does once all its members are drawn: its paths wipe its
    // canvas, which is then composed onto the level's target.
    static QRect finishLevel(RenderPass &pass, RenderLevel &level);
    // Calls apply on every member of the tree that is not a compound, with
    // path (in the outer coordinates of this compound) mapped into the
    // member's coordinates; then every compound, from the deepest up, drops
    // the members that became empty and updates its rectangle.
    void forEachLeaf(const QPainterPath &path, const std::function<void(Stroke &, const QPainterPath &)> &apply);
    // How many canvases of its own a render of this compound holds at once
    // at most (none for itself when it renders in place).
    int canvasDepth(bool inPlace) const;
    // Moves all content into a new compound, which becomes the only member.
    void nest();
    void removeEmptyMembers();
    void updateBoundingRect();

    std::unique_ptr<CompoundStrokePrivate> d;
};

} // namespace Model
