#include "rleimage.h"

#include "strokes/decodebudget.h"

#include <QDataStream>
#include <QImage>
#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

namespace Model {

class RleImagePrivate
{
public:
    int m_width = 0;
    int m_height = 0;
    QByteArray m_codes;
    // Whether the codes decode: true for codes made here, checked once for
    // codes read, so that decoding needs a single pass.
    bool m_valid = false;
    // Whether no run writes over another; see runsInOrder().
    bool m_inOrder = false;
    // Where the first row the codes reach in each stretch of
    // RleImage::rowsPerMark rows starts, in the order of the rows; stretches
    // the codes pass over have none, so that a code that skips a million
    // rows adds one mark, not a mark per stretch. Empty for codes that do
    // not decode.
    std::vector<RleImage::Runs::Mark> m_marks;
};

namespace {

// Records have always been read and written with this stream version; a reader
// of an older file relies on it staying set for the rest of the stream.
constexpr int StreamVersion = 19;

enum Code : uchar {
    SkipShort = 0,
    SkipMedium = 1,
    SkipLong = 2,
    CopyShort = 3,
    CopyMedium = 4,
    CopyLong = 5,
    NextRow = 6,
    AdvanceShort = 7,
    AdvanceMedium = 8,
    AdvanceLong = 9,
    End = 10,
};

quint64 load64(const uchar *p)
{
    quint64 word;
    std::memcpy(&word, p, sizeof word);
    return qFromLittleEndian(word);
}

// Position of the first non-zero byte in [x, width), or width.
int findNonZero(const uchar *row, int x, int width)
{
    while (x + 8 <= width) {
        const quint64 word = load64(row + x);
        if (word != 0)
            return x + std::countr_zero(word) / 8;
        x += 8;
    }
    while (x < width && row[x] == 0)
        ++x;
    return x;
}

// End of a literal run that starts at x (row[x] != 0): the first zero byte that
// is followed by another zero or by the row's end. A single zero between
// non-zero bytes costs less inside the literal than as a run of its own.
int findLiteralEnd(const uchar *row, int x, int width)
{
    constexpr quint64 ones = 0x0101010101010101ull;
    constexpr quint64 highs = 0x8080808080808080ull;
    for (;;) {
        while (x + 8 <= width) {
            const quint64 word = load64(row + x);
            const quint64 zeros = (word - ones) & ~word & highs;
            if (zeros != 0) {
                // The lowest flagged byte is exact; flags above it may be false.
                x += std::countr_zero(zeros) / 8;
                break;
            }
            x += 8;
        }
        while (x < width && row[x] != 0)
            ++x;
        if (x >= width)
            return width;
        if (x + 1 < width && row[x + 1] != 0) {
            x += 2;
            continue;
        }
        return x;
    }
}

// Appends codes into a buffer that grows geometrically; every row first makes
// room for its worst case, so the writes themselves need no checks.
//
// The buffer is the thread's own and outlives the writer: drawings encode
// their image once per edit and keep the codes for as long as they live, so
// the codes are copied out at their exact size, and the buffer's pages are
// not asked of the system again for every image.
class CodeWriter
{
public:
    CodeWriter()
        : m_buffer(buffer())
    {
    }

    ~CodeWriter()
    {
        // One image of random noise needs twice its pixels; such a buffer is
        // not worth keeping.
        constexpr qsizetype KeptBytes = qsizetype(8) * 1024 * 1024;
        if (m_buffer.size() > KeptBytes)
            m_buffer = QByteArray();
    }

    void reserve(qsizetype bytes)
    {
        if (m_size + bytes > m_buffer.size())
            m_buffer.resize(std::max(m_buffer.size() * 2, m_size + bytes));
    }

    void putByte(uchar value) { data()[m_size++] = value; }

    void putCount(uchar shortCode, int n)
    {
        if (n <= 0xff) {
            putByte(shortCode);
            putByte(uchar(n));
        } else if (n <= 0xffff) {
            putByte(shortCode + 1);
            qToBigEndian(quint16(n), data() + m_size);
            m_size += 2;
        } else {
            putByte(shortCode + 2);
            qToBigEndian(qint32(n), data() + m_size);
            m_size += 4;
        }
    }

    void putAdvance(int rows)
    {
        if (rows == 1)
            putByte(NextRow);
        else
            putCount(AdvanceShort, rows);
    }

    void putBytes(const uchar *bytes, int n)
    {
        std::memcpy(data() + m_size, bytes, size_t(n));
        m_size += n;
    }

    QByteArray take() const { return QByteArray(m_buffer.constData(), m_size); }

private:
    static QByteArray &buffer()
    {
        static thread_local QByteArray codes;
        return codes;
    }

    uchar *data() { return reinterpret_cast<uchar *>(m_buffer.data()); }

    QByteArray &m_buffer;
    qsizetype m_size = 0;
};

// Encodes an image row by row; rows come in order from the first, each as
// its bytes, or as nothing for a row of zeros.
class RowEncoder
{
public:
    explicit RowEncoder(int width)
        : m_width(width)
    {
        m_writer.reserve(64);
    }

    void addRow(const uchar *row) { addRow(row, 0, m_width); }

    // A row that is 0 but for the count bytes from left on.
    void addRow(const uchar *row, int left, int count)
    {
        // No row needs more than two code bytes per pixel (a one-byte zero
        // skip before a one-byte literal) plus an advance and the headers
        // of a run and of the skip before it.
        m_writer.reserve(2 * qsizetype(count) + 24);
        // The zeros before row[x], not yet written.
        int zeros = left;
        int x = 0;
        while (x < count) {
            if (row[x] == 0) {
                const int end = findNonZero(row, x + 1, count);
                zeros += end - x;
                x = end;
                continue;
            }
            const int end = findLiteralEnd(row, x + 1, count);
            if (m_advance > 0) {
                m_writer.putAdvance(m_advance);
                m_advance = 0;
            }
            if (zeros > 0) {
                m_writer.putCount(SkipShort, zeros);
                zeros = 0;
            }
            m_writer.putCount(CopyShort, end - x);
            m_writer.putBytes(row + x, end - x);
            x = end;
        }
        ++m_advance;
    }

    // Empty rows only raise the advance written before the next run, and
    // trailing ones are dropped.
    void addEmptyRows(int rows) { m_advance += rows; }

    QByteArray finish()
    {
        m_writer.reserve(1);
        m_writer.putByte(End);
        return m_writer.take();
    }

private:
    CodeWriter m_writer;
    const int m_width;
    // Rows passed since the last written position.
    int m_advance = 0;
};

QByteArray encode(const QImage &image)
{
    RowEncoder encoder(image.width());
    for (int y = 0; y < image.height(); ++y)
        encoder.addRow(image.constScanLine(y));
    return encoder.finish();
}

// Reads the operand of a code with an 8-, 16- or 32-bit count (size 0, 1 or 2).
inline bool readCount(const uchar *&codes, const uchar *end, int size, qint64 &n)
{
    if (size == 0) {
        if (codes == end)
            return false;
        n = *codes++;
        return true;
    }
    if (size == 1) {
        if (end - codes < 2)
            return false;
        n = qFromBigEndian<quint16>(codes);
        codes += 2;
        return true;
    }
    if (end - codes < 4)
        return false;
    n = qFromBigEndian<qint32>(codes);
    codes += 4;
    return true;
}

// memcpy for the short literal runs that anti-aliased edges are made of,
// without a library call: two overlapping word copies cover any length from
// one word to two, and never touch a byte outside the run.
inline void copyRun(uchar *dst, const uchar *src, size_t n)
{
    if (n > 32) {
        std::memcpy(dst, src, n);
    } else if (n >= 16) {
        std::memcpy(dst, src, 16);
        std::memcpy(dst + n - 16, src + n - 16, 16);
    } else if (n >= 8) {
        std::memcpy(dst, src, 8);
        std::memcpy(dst + n - 8, src + n - 8, 8);
    } else if (n >= 4) {
        std::memcpy(dst, src, 4);
        std::memcpy(dst + n - 4, src + n - 4, 4);
    } else {
        for (size_t i = 0; i < n; ++i)
            dst[i] = src[i];
    }
}

// The marks of a record's rows lie at least this many bytes of its codes
// apart, so that they never take more than an eighth of what the codes take.
constexpr quint32 MarkSpacing = 64;

// A row that runs go back along is put together a strip of at most this many
// bytes at a time.
constexpr qint64 StripBytes = qint64(1) << 20;

// Alpha8 rows are padded to four bytes.
qint64 decodedBytes(int width, int height)
{
    return (qint64(width) + 3) / 4 * 4 * height;
}

} // namespace

RleImage::RleImage()
    : d(std::make_unique<RleImagePrivate>())
{
}

RleImage::RleImage(const QImage &image)
    : RleImage()
{
    const QImage alpha = image.format() == QImage::Format_Alpha8 ? image : image.convertToFormat(QImage::Format_Alpha8);
    d->m_width = alpha.width();
    d->m_height = alpha.height();
    d->m_codes = encode(alpha);
    check();
}

RleImage::RleImage(QSize size, const QList<std::pair<QPoint, QImage>> &parts)
    : RleImage()
{
    d->m_width = size.width();
    d->m_height = size.height();
    if (size.isEmpty() || decodedBytes(size.width(), size.height()) > maximumImageBytes) {
        check();
        return;
    }
    // Each row the parts cover is put together in one line, from the first
    // part's left edge to the last part's right one, and encoded as that
    // row of the whole image; the rows between them cost nothing.
    QList<std::pair<QPoint, QImage>> sorted = parts;
    std::sort(sorted.begin(), sorted.end(),
              [](const auto &a, const auto &b) { return a.first.y() < b.first.y(); });
    RowEncoder encoder(size.width());
    std::vector<uchar> line(size_t(size.width()), 0);
    QList<qsizetype> covering;
    qsizetype next = 0;
    int row = 0;
    while (row < size.height()) {
        covering.removeIf([&](qsizetype i) { return sorted.at(i).first.y() + sorted.at(i).second.height() <= row; });
        while (next < sorted.size() && sorted.at(next).first.y() <= row)
            covering.append(next++);
        if (covering.isEmpty()) {
            const int nextRow =
                next < sorted.size() ? std::min(sorted.at(next).first.y(), size.height()) : size.height();
            encoder.addEmptyRows(nextRow - row);
            row = nextRow;
            continue;
        }
        int left = size.width();
        int right = 0;
        for (qsizetype i : std::as_const(covering)) {
            const auto &[at, image] = sorted.at(i);
            left = std::min(left, at.x());
            right = std::max(right, at.x() + image.width());
        }
        std::fill(line.begin() + left, line.begin() + right, uchar(0));
        for (qsizetype i : std::as_const(covering)) {
            const auto &[at, image] = sorted.at(i);
            std::memcpy(line.data() + at.x(), image.constScanLine(row - at.y()), size_t(image.width()));
        }
        encoder.addRow(line.data() + left, left, right - left);
        ++row;
    }
    d->m_codes = encoder.finish();
    check();
}

RleImage::RleImage(const RleImage &other)
    : d(std::make_unique<RleImagePrivate>(other.d ? *other.d : RleImagePrivate()))
{
}

RleImage::RleImage(RleImage &&other) noexcept = default;

RleImage &RleImage::operator=(const RleImage &other)
{
    if (this != &other)
        d = std::make_unique<RleImagePrivate>(other.d ? *other.d : RleImagePrivate());
    return *this;
}

RleImage &RleImage::operator=(RleImage &&other) noexcept = default;

RleImage::~RleImage() = default;

// A moved-from RleImage has no private data; it reads as the empty record.
int RleImage::width() const
{
    return d ? d->m_width : 0;
}

int RleImage::height() const
{
    return d ? d->m_height : 0;
}

QByteArray RleImage::codes() const
{
    return d ? d->m_codes : QByteArray();
}

bool RleImage::isValid() const
{
    return d && d->m_valid;
}

bool RleImage::runsInOrder() const
{
    return d && d->m_inOrder;
}

// A record's sizes are only numbers until it is known to decode: a width of
// INT_MIN, say, makes no rectangle.
QImage RleImage::toImage() const
{
    if (!isValid())
        return {};
    return toImage(QRect(0, 0, width(), height()), QSize(1, 1));
}

template<typename Use>
void RleImage::forEachRunIn(const QRect &window, Use use) const
{
    if (!isValid())
        return;
    const QRect part = window & QRect(0, 0, width(), height());
    if (part.isEmpty())
        return;
    Runs runs(*this, part.top());
    Run run;
    while (runs.next(run) && run.row <= part.bottom()) {
        const int from = std::max(run.column, part.left());
        const int to = std::min(run.column + run.length, part.right() + 1);
        if (from < to)
            use(run.row, from, run.bytes + (from - run.column), to - from);
    }
}

QImage RleImage::toImage(const QRect &window, QSize reduction) const
{
    if (!isValid() || window.isEmpty())
        return {};
    const int kx = std::clamp(reduction.width(), 1, maximumReduction);
    const int ky = std::clamp(reduction.height(), 1, maximumReduction);
    const qint64 windowWidth = qint64(window.right()) - window.left() + 1;
    const qint64 windowHeight = qint64(window.bottom()) - window.top() + 1;
    const qint64 w = (windowWidth + kx - 1) / kx;
    const qint64 h = (windowHeight + ky - 1) / ky;
    const bool reduced = kx > 1 || ky > 1;
    // Runs that go back along a row write over what lies there, as decoding
    // does: such a row is put together on its own before its bytes are
    // added, a strip of the window at a time, so that the row costs no more
    // than the strip whatever the window's width.
    const bool direct = !reduced || runsInOrder();
    const qint64 strip = direct ? windowWidth : std::min(windowWidth, std::max<qint64>(StripBytes / kx, 1) * kx);
    // Everything the decoding holds beside the image counts with it: a sum
    // per block of the row of blocks, and the strip of a row.
    const qint64 beside = reduced ? w * qint64(sizeof(quint64)) + (direct ? 0 : strip) : 0;
    if (w > std::numeric_limits<int>::max() || h > std::numeric_limits<int>::max()
        || decodedBytes(int(w), int(h)) + beside > maximumImageBytes
        || !DecodeBudget::take(decodedBytes(int(w), int(h)) + beside))
        return {};
    QImage image(int(w), int(h), QImage::Format_Alpha8);
    if (image.isNull())
        return {};
    image.fill(0);
    uchar *const bits = image.bits();
    const qsizetype bytesPerLine = image.bytesPerLine();
    if (!reduced) {
        forEachRunIn(window, [&](int row, int column, const uchar *bytes, int length) {
            copyRun(bits + (row - window.top()) * bytesPerLine + (column - window.left()), bytes, size_t(length));
        });
        return image;
    }

    // Each pixel is the mean of its block.
    std::vector<quint64> sums(size_t(w), 0);
    // The blocks the current row of blocks has sums in.
    qint64 touchedFrom = w;
    qint64 touchedTo = 0;
    std::vector<uchar> line(direct ? 0 : size_t(strip), 0);
    qint64 lineLeft = window.left();
    qint64 lineWidth = 0;
    int lineRow = -1;
    int sumRow = -1;
    // Adds a run's bytes to the sums of the blocks they fall in: the rest of
    // the block it starts in, whole blocks, then the start of the last.
    const auto add = [&](qint64 column, const uchar *bytes, qint64 length) {
        const qint64 x = column - window.left();
        quint64 *sum = sums.data() + x / kx;
        const uchar *const end = bytes + length;
        touchedFrom = std::min(touchedFrom, x / kx);
        touchedTo = std::max(touchedTo, (x + length - 1) / kx + 1);
        const auto total = [](const uchar *from, const uchar *to) {
            quint32 value = 0;
            for (; from != to; ++from)
                value += *from;
            return value;
        };
        if (const int into = int(x % kx); into != 0) {
            const uchar *const rest = bytes + std::min<qint64>(end - bytes, kx - into);
            *sum += total(bytes, rest);
            if (into + (rest - bytes) == kx)
                ++sum;
            bytes = rest;
        }
        for (; end - bytes >= kx; bytes += kx)
            *sum++ += total(bytes, bytes + kx);
        if (bytes != end)
            *sum += total(bytes, end);
    };
    const auto flushLine = [&] {
        if (lineRow < 0)
            return;
        add(lineLeft, line.data(), lineWidth);
        std::fill(line.begin(), line.end(), 0);
        lineRow = -1;
    };
    // The mean rounded to the nearest, by a multiplication: a division per
    // pixel would take longer than all the rest.
    const double area = double(kx) * double(ky);
    const double perPixel = 1.0 / area;
    const auto flushSums = [&] {
        if (sumRow < 0)
            return;
        uchar *out = bits + sumRow * bytesPerLine;
        for (qint64 i = touchedFrom; i < touchedTo; ++i) {
            if (sums[size_t(i)] != 0) {
                out[i] = uchar(std::min((double(sums[size_t(i)]) + area / 2) * perPixel, 255.0));
                sums[size_t(i)] = 0;
            }
        }
        touchedFrom = w;
        touchedTo = 0;
        sumRow = -1;
    };
    // Strips are whole blocks wide, so that each block lies in one.
    for (qint64 left = window.left(); left <= window.right(); left += strip) {
        const QRect part(QPoint(int(left), window.top()),
                         QPoint(int(std::min<qint64>(left + strip - 1, window.right())), window.bottom()));
        lineLeft = left;
        lineWidth = qint64(part.right()) - part.left() + 1;
        forEachRunIn(part, [&](int row, int column, const uchar *bytes, int length) {
            if (!direct && row != lineRow)
                flushLine();
            const int reducedRow = (row - window.top()) / ky;
            if (reducedRow != sumRow) {
                flushSums();
                sumRow = reducedRow;
            }
            if (direct) {
                add(column, bytes, length);
            } else {
                std::memcpy(line.data() + (column - left), bytes, size_t(length));
                lineRow = row;
            }
        });
        flushLine();
        flushSums();
    }
    return image;
}

QRect RleImage::inkBounds(const QRect &window) const
{
    int left = std::numeric_limits<int>::max();
    int right = std::numeric_limits<int>::min();
    int top = -1;
    int bottom = -1;
    forEachRunIn(window, [&](int row, int column, const uchar *, int length) {
        left = std::min(left, column);
        right = std::max(right, column + length - 1);
        if (top < 0)
            top = row;
        bottom = row;
    });
    return top < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

RleImage RleImage::cropped(const QRect &window) const
{
    RleImage part;
    if (!isValid() || window.isEmpty())
        return part;
    // Each row is put together from its runs, which may go back along it,
    // and encoded as an image of the window's rows would be.
    RowEncoder encoder(window.width());
    std::vector<uchar> line(size_t(window.width()), 0);
    int lastRow = window.top() - 1;
    int lineRow = -1;
    const auto flushLine = [&] {
        if (lineRow < 0)
            return;
        encoder.addEmptyRows(lineRow - lastRow - 1);
        encoder.addRow(line.data());
        std::fill(line.begin(), line.end(), 0);
        lastRow = lineRow;
        lineRow = -1;
    };
    forEachRunIn(window, [&](int row, int column, const uchar *bytes, int length) {
        if (row != lineRow) {
            flushLine();
            lineRow = row;
        }
        std::memcpy(line.data() + (column - window.left()), bytes, size_t(length));
    });
    flushLine();
    part.d->m_width = window.width();
    part.d->m_height = window.height();
    part.d->m_codes = encoder.finish();
    part.check();
    return part;
}

void RleImage::check()
{
    d->m_valid = false;
    d->m_inOrder = false;
    d->m_marks.clear();
    if (d->m_width <= 0 || d->m_height <= 0 || decodedBytes(d->m_width, d->m_height) > maximumImageBytes)
        return;
    std::vector<Runs::Mark> marks;
    Runs runs(*this);
    runs.m_marks = &marks;
    runs.noteMarks();
    Run run;
    while (runs.next(run)) {
    }
    d->m_valid = runs.isFinished();
    d->m_inOrder = d->m_valid && runs.inOrder();
    if (d->m_valid) {
        marks.shrink_to_fit();
        d->m_marks = std::move(marks);
    }
}

RleImage::Runs::Runs(const RleImage &image)
    : m_codes(image.codes())
    , m_at(reinterpret_cast<const uchar *>(m_codes.constData()))
    , m_end(m_at + m_codes.size())
    , m_width(image.width())
    , m_height(image.height())
{
}

RleImage::Runs::Runs(const RleImage &image, int fromRow)
    : Runs(image)
{
    if (fromRow <= 0 || !image.d)
        return;
    m_firstRow = fromRow;
    // The last mark at or above the row: what lies between it and the row
    // is at most a stretch of rows and MarkSpacing bytes of codes.
    const std::vector<Mark> &marks = image.d->m_marks;
    const auto found = std::upper_bound(marks.cbegin(), marks.cend(), fromRow,
                                        [](int row, const Mark &mark) { return row < mark.row; });
    if (found == marks.cbegin())
        return;
    const Mark &mark = *std::prev(found);
    m_at += mark.offset;
    m_row = mark.row;
}

void RleImage::Runs::noteMarks()
{
    const auto offset = quint32(m_at - reinterpret_cast<const uchar *>(m_codes.constData()));
    if (!m_marks->empty()) {
        const Mark &last = m_marks->back();
        if (last.row / rowsPerMark == m_row / rowsPerMark || offset - last.offset < MarkSpacing)
            return;
    }
    m_marks->push_back({offset, qint32(m_row)});
}

bool RleImage::Runs::next(Run &run)
{
    // The walk's position is kept in locals while codes are passed over, and
    // stored back only when a run is handed out.
    const uchar *at = m_at;
    const uchar *const end = m_end;
    qint64 column = m_column;
    const auto fail = [this] {
        m_at = m_end;
        m_state = Damaged;
        return false;
    };
    while (at < end) {
        const uchar code = *at++;
        qint64 n = 0;
        // Short copies and skips alternate along every stroke edge: keep them
        // off the general dispatch.
        if (code == CopyShort) {
            if (at == end)
                return fail();
            n = *at++;
            if (column + n > m_width || end - at < n)
                return fail();
        } else if (code == SkipShort) {
            if (at == end)
                return fail();
            n = *at++;
            if (column + n > m_width)
                return fail();
            column += n;
            continue;
        } else {
            switch (code) {
            case SkipMedium:
            case SkipLong:
                if (!readCount(at, end, code - SkipShort, n) || n < 0 || column + n > m_width)
                    return fail();
                column += n;
                continue;
            case CopyMedium:
            case CopyLong:
                if (!readCount(at, end, code - CopyShort, n) || n < 0 || column + n > m_width || end - at < n)
                    return fail();
                break;
            case NextRow:
            case AdvanceShort:
            case AdvanceMedium:
            case AdvanceLong:
                if (code == NextRow)
                    n = 1;
                else if (!readCount(at, end, code - AdvanceShort, n) || n < 0)
                    return fail();
                // Once the row reaches the image's height only failure can
                // follow (another code past the last row, or no end code),
                // so the row is checked where it changes.
                if (m_row + n >= m_height)
                    return fail();
                m_row += n;
                column = 0;
                if (n > 0)
                    m_rowEnd = 0;
                if (m_marks) {
                    m_at = at;
                    noteMarks();
                }
                continue;
            case End:
                m_at = end;
                m_state = Finished;
                return false;
            default:
                // Codes above 10 carry no operands and are passed over.
                continue;
            }
        }
        if (n == 0)
            continue;
        if (column < m_rowEnd)
            m_inOrder = false;
        m_rowEnd = column + n;
        if (m_row < m_firstRow) {
            at += n;
            column += n;
            continue;
        }
        run.row = int(m_row);
        run.column = int(column);
        run.bytes = at;
        run.length = int(n);
        m_at = at + n;
        m_column = column + n;
        return true;
    }
    // The codes ran out before the end code.
    return fail();
}

QDataStream &operator<<(QDataStream &stream, const RleImage &image)
{
    stream.setVersion(StreamVersion);
    stream << qint32(image.width()) << qint32(image.height()) << image.codes();
    return stream;
}

QDataStream &operator>>(QDataStream &stream, RleImage &image)
{
    stream.setVersion(StreamVersion);
    qint32 width = 0;
    qint32 height = 0;
    QByteArray codes;
    // QDataStream reads a byte array in bounded chunks, so a damaged length
    // fails at the stream's end instead of reserving what it claims.
    stream >> width >> height >> codes;
    RleImagePrivate data;
    if (stream.status() == QDataStream::Ok) {
        data.m_width = width;
        data.m_height = height;
        data.m_codes = std::move(codes);
        data.m_codes.squeeze();
    }
    image.d = std::make_unique<RleImagePrivate>(std::move(data));
    // Checked here, without allocating an image: a damaged record is known
    // as soon as it is read.
    image.check();
    return stream;
}

} // namespace Model
