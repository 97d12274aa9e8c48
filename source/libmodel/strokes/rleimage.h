#pragma once

#include <QByteArray>
#include <QList>
#include <QPoint>
#include <QtGlobal>

#include <memory>
#include <utility>
#include <vector>

class QDataStream;
class QImage;
class QRect;
class QSize;

namespace Model {

class RleImagePrivate;

// A run-length coded 8-bit coverage image (QImage::Format_Alpha8), the form in
// which bitmap strokes and cached drawing masks travel in files and on the
// clipboard. Drawings are mostly empty paper, so the codes skip zero bytes and
// whole empty rows and keep only the runs of non-zero coverage.
//
// The codes are a byte stream; each code byte is followed by its big-endian
// operands:
//   0, 1, 2  skip n zero bytes (n as 8, 16 or signed 32 bits)
//   3, 4, 5  copy n bytes (n as 8, 16 or signed 32 bits, then the bytes)
//   6        go to the start of the next row
//   7, 8, 9  advance n rows (n as 8, 16 or signed 32 bits)
//   10       end of image
// An all-zero row writes nothing, and a row's trailing zeros are dropped.
//
// A record is only data until it is decoded: toImage() checks it and gives a
// null QImage for any damage (runs past a row, rows past the image, codes cut
// short, no end code, sizes beyond maximumImageBytes or beyond what the
// DecodeBudget in force has left). A damaged record never allocates an image.
class RleImage
{
public:
    // Decoded images larger than this many bytes are refused: far beyond any
    // frame this program draws, and the same bound Qt puts on images read from
    // untrusted files.
    static constexpr qint64 maximumImageBytes = qint64(256) * 1024 * 1024;

    // Width 0, height 0 and no codes, to be filled by reading.
    RleImage();
    // Encodes the image; an image of another format is converted to
    // Format_Alpha8 first, which keeps its alpha channel.
    explicit RleImage(const QImage &image);
    // The image of size that is 0 but for the parts (Format_Alpha8 images,
    // each at its place, apart from one another and inside size), coded as
    // encoding that image would code it, without ever making it: a drawing
    // whose few strokes lie far apart in a large frame costs what they cover.
    RleImage(QSize size, const QList<std::pair<QPoint, QImage>> &parts);
    RleImage(const RleImage &other);
    RleImage(RleImage &&other) noexcept;
    RleImage &operator=(const RleImage &other);
    RleImage &operator=(RleImage &&other) noexcept;
    ~RleImage();

    int width() const;
    int height() const;
    QByteArray codes() const;

    // The decoded Format_Alpha8 image, or a null QImage when the record is damaged.
    QImage toImage() const;
    // The part window of the image (what lies beyond it is 0), decoded from
    // the runs in that part alone, with each block of reduction.width() x
    // reduction.height() pixels, counted from the window's top left corner,
    // taken as one pixel of their mean: a picture far finer than the place
    // it is shown in is decoded at about the grain it is shown at, never
    // whole. A null QImage for a damaged record, an empty window, or when
    // the result and what decoding holds beside it (a sum per column of
    // blocks, and a strip of a row for codes that go back along their rows)
    // would take more than maximumImageBytes or the DecodeBudget in force.
    // Each side of the reduction is held to 1 .. maximumReduction.
    QImage toImage(const QRect &window, QSize reduction) const;
    static constexpr int maximumReduction = 65535;
    // The rectangle of the runs that lie in window, cut to it: outside it
    // the part is all 0. Null when there are none, or the record is damaged.
    QRect inkBounds(const QRect &window) const;
    // The part window of the image as a record of its own, coded as the
    // image of that part would be; what lies beyond the image is 0. Made
    // from the runs, without decoding the image; an empty record (which
    // does not decode) for a damaged one or an empty window.
    RleImage cropped(const QRect &window) const;
    // Whether the record decodes: its size is within maximumImageBytes and
    // its codes stay inside the image and reach the end code. Codes made by
    // encoding do; codes read are checked as they are read, without
    // allocating anything, so that a record can be kept and decoded only
    // when its image is needed.
    bool isValid() const;
    // Whether each run lies after the one before it, so that the runs alone
    // make the image. Codes made by encoding are so; codes read may go back
    // along a row (an advance by no rows) and write over bytes written
    // before, which only decoding settles.
    bool runsInOrder() const;

    // One run of non-zero bytes as the codes hold it (zero bytes that lie
    // between two non-zero ones may be part of it).
    struct Run
    {
        int row = 0;
        int column = 0;
        const uchar *bytes = nullptr;
        int length = 0;
    };

    // For each stretch of this many rows the record notes where in its
    // codes the first row it reaches starts, so that a walk from a row on
    // begins there instead of at the first code: a picture composed in bands
    // of rows by several threads reads each drawing's codes once in all, not
    // once per band. Stretches the codes pass over get no note, and neither
    // does one that starts a few bytes after the last note, so that the
    // notes take a small share of what the codes take.
    static constexpr int rowsPerMark = 16;

    // The runs of an image in order, row by row, read from its codes without
    // decoding them: a picture can be composed from the code straight away,
    // and everything outside the runs is 0. The runs point into the codes,
    // which the walker holds for as long as it lives. Damaged codes end the
    // walk where the damage begins; isFinished() then stays false.
    class Runs
    {
    public:
        explicit Runs(const RleImage &image);
        // Only the runs of row fromRow and below. The walk starts at the
        // last mark at or above that row and passes over the few runs
        // between there and fromRow.
        Runs(const RleImage &image, int fromRow);
        // The next run; false after the last one.
        bool next(Run &run);
        // Whether the walk reached the end code.
        bool isFinished() const { return m_state == Finished; }
        // Whether no run so far began before the end of an earlier one.
        bool inOrder() const { return m_inOrder; }

    private:
        friend class RleImage;
        friend class RleImagePrivate;

        enum State { Running, Finished, Damaged };

        // Where the walk stood at the start of a row: the offset of the code
        // after the row's advance, and the row.
        struct Mark
        {
            quint32 offset = 0;
            qint32 row = 0;
        };
        // Notes a mark for the row the walk has just entered when it is the
        // first the walk reaches in its stretch of rowsPerMark rows.
        void noteMarks();

        const QByteArray m_codes;
        const uchar *m_at;
        const uchar *m_end;
        qint64 m_width;
        qint64 m_height;
        qint64 m_row = 0;
        qint64 m_column = 0;
        // Where the last run of the current row ended.
        qint64 m_rowEnd = 0;
        bool m_inOrder = true;
        State m_state = Running;
        // Runs above this row are passed over.
        qint64 m_firstRow = 0;
        // Filled while the record itself walks its codes once; null otherwise.
        std::vector<Mark> *m_marks = nullptr;
    };

private:
    friend QDataStream &operator<<(QDataStream &stream, const RleImage &image);
    friend QDataStream &operator>>(QDataStream &stream, RleImage &image);

    // Walks the codes once: whether they decode and run in order, and the
    // marks of their rows.
    void check();
    // use(row, column, bytes, length) for each run in window, cut to it, in
    // the order of the codes.
    template<typename Use>
    void forEachRunIn(const QRect &window, Use use) const;

    std::unique_ptr<RleImagePrivate> d;
};

// Both directions set the stream's version to 19 and leave it so: qint32 width,
// qint32 height, then the codes as a QByteArray. A record cut short leaves an
// empty RleImage (which decodes to a null image) and the stream's read error.
QDataStream &operator<<(QDataStream &stream, const RleImage &image);
QDataStream &operator>>(QDataStream &stream, RleImage &image);

} // namespace Model
