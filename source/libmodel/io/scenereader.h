#pragma once

#include <QCoreApplication>
#include <QList>
#include <QString>

#include <memory>

class QIODevice;
class QObject;

namespace Model {

class Scene;
class SceneReaderPrivate;

// Thrown inside the reader when the user has cancelled; read() turns it into
// its result.
struct ReadingCancelledException
{
};

// Fills a freshly made scene from a ".kl" document (see SceneFormat).
//
// Tolerant of what it does not know: unknown elements are skipped whole,
// and attributes the writer leaves out at their defaults take them. A value
// not given as the writer gives it (missing where the writer always gives
// it, given empty, unreadable, one the scene cannot have or cannot draw, an
// identifier that a layer or cell before it has) is replaced by one that
// keeps the scene usable: a frame side that cannot be right is made good
// from the drawings like a missing one, an opacity the layer cannot have is
// a new layer's, a range given backwards is put in order. A frame the file
// gives whole is kept, whatever size its drawings claim: where they agree on
// another, the user hears of it. A layer or cell whose kind cannot be read is
// read as the kind its content shows, and a cell that cannot be read as
// any keeps its place, empty: no cell after it moves. Of an element given
// twice where the writer gives one, the first is read. What is left out or
// replaced that way, and an ordering of the layers that cannot be followed,
// is reported with the damage (below), each value with the one used in its
// place: the user hears of all of it before saving over the file, and the
// file saved then opens without a word.
//
// A file cut short, or whose end is overwritten with bytes that are no
// markup (the zeros an interrupted copy leaves), keeps all that was read
// before the cut; the rest is missing, and one entry of the damage tells
// where the file ends and what could not be read. Only a document whose XML
// is broken before its end, or whose root is not a version 0.4 "kl", fails
// the read (errorString() says why and where).
//
// Nothing read from the file is trusted. Drawings, pictures, notes and sound
// that are damaged (cut short, badly encoded, beyond what a scene can hold)
// do not stop the read: each keeps what could be read of it (the strokes
// before the damage, a blank cell otherwise; a collapsed stroke whose picture
// cannot be read goes without it),
// the cell keeps its identifier, so that the cells showing it still find it,
// and the damage is collected by layer and frame for damageReport(), one
// message for the user. Characters skipped in a payload are a repair made
// good only when what remains reads whole by its own checks (a drawing's
// record to its end). A sound is judged as its import judges it, by its own
// header and samples: what the import takes without a word reopens without
// one, and what it tells of is told the same.
//
// A file of a few hundred kilobytes costs little whatever frame it gives or
// its drawings claim: a missing frame is taken from the drawings only when
// more than one has it (or none has another), and a drawing fitted to the
// frame is rendered only where its strokes reach.
//
// progress, when given, is any object with QProgressDialog's properties
// ("maximum", "value", "wasCanceled", "labelText", "minimumDuration"); the
// reader sets it up as "Opening scene..." and notices Cancel between layers
// and cells. Whatever the result, the scene holds what had been read when
// the reader stopped; after a failure or a cancel the caller discards it.
class SceneReader
{
    Q_DECLARE_TR_FUNCTIONS(Model::SceneReader)

public:
    // Something of the file that could not be read whole, or that was
    // left out or put right.
    struct Damage
    {
        // Empty for damage to the scene as a whole (the order of its layers).
        QString layer;
        // 0 for damage that belongs to the whole layer (its sound, the layer
        // itself left out).
        int frame = 0;
        QString problem;
        // True where nothing was lost: what was missing or damaged was made
        // good (a frame size taken from the drawings, layers left in the
        // order the file lists them).
        bool madeGood = false;
    };

    SceneReader(Scene *scene, QObject *progress = nullptr);
    ~SceneReader();

    // SceneFormat::Done, Failed or Cancelled.
    int read(QIODevice *device);
    // Why the read failed, with the line and column where it stopped; empty
    // after a read that did not fail. What this and the damage give is the
    // reader's own: none of it lies in the bytes of the device, which may be
    // gone once read() has returned.
    QString errorString() const;
    // In the order met.
    QList<Damage> damage() const;
    // Empty when nothing was damaged; otherwise one text that lists the
    // damage by layer, naming the frames of each kind of damage together.
    QString damageReport() const;
    // The line that introduces the report in a message about the file,
    // true of every entry of damage: parts left out, parts made good, or
    // some of each.
    static QString damageHeading(const QList<Damage> &damage, const QString &fileName);

private:
    SceneReader(const SceneReader &) = delete;
    SceneReader &operator=(const SceneReader &) = delete;

    std::unique_ptr<SceneReaderPrivate> d;
};

} // namespace Model
