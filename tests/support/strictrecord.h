#pragma once

// A reader of stroke records that knows nothing of the program's own: it
// walks a record field by field as the format lays it out and finds fault
// with anything a careful reader elsewhere would refuse. Whatever the program
// writes must pass it, however damaged the file it was read from.

#include <QByteArray>
#include <QDataStream>
#include <QString>

#include <cmath>

namespace StrictRecord {

class Reader
{
public:
    explicit Reader(const QByteArray &bytes)
        : m_stream(bytes)
    {
        m_stream.setByteOrder(QDataStream::BigEndian);
        m_stream.setFloatingPointPrecision(QDataStream::SinglePrecision);
    }

    // A stroke drawing's record: its size, the root group, then either no
    // picture (-1) or a run-length picture (2), or nothing more.
    QString drawingFault()
    {
        qint32 width = 0;
        qint32 height = 0;
        m_stream >> width >> height;
        group(0);
        if (!m_fault.isEmpty() || m_stream.atEnd())
            return end();
        const qint32 tag = integer();
        if (tag == 2)
            picture();
        else if (tag != -1)
            fail(QStringLiteral("picture tag %1").arg(tag));
        return end();
    }

    // A type code and the stroke record that follows it.
    QString strokeFault()
    {
        member(0);
        return end();
    }

private:
    QString end()
    {
        if (m_fault.isEmpty() && m_stream.status() != QDataStream::Ok)
            m_fault = QStringLiteral("the record ends early");
        if (m_fault.isEmpty() && !m_stream.atEnd())
            m_fault = QStringLiteral("bytes after the record");
        return m_fault;
    }

    void fail(const QString &fault)
    {
        if (m_fault.isEmpty())
            m_fault = fault;
    }

    bool fine() const { return m_fault.isEmpty() && m_stream.status() == QDataStream::Ok; }

    qint32 integer()
    {
        qint32 value = 0;
        m_stream >> value;
        return value;
    }

    double number(const char *what)
    {
        float value = 0.0f;
        m_stream >> value;
        if (!std::isfinite(value))
            fail(QStringLiteral("%1 is %2").arg(QLatin1String(what)).arg(value));
        return value;
    }

    // No drawing reaches this far from its origin.
    void position(const char *what)
    {
        for (int i = 0; i < 2; ++i) {
            if (std::abs(number(what)) > 16777216.0)
                fail(QStringLiteral("%1 lies beyond any drawing").arg(QLatin1String(what)));
        }
    }

    void fraction(const char *what)
    {
        const double value = number(what);
        if (value < 0.0 || value > 1.0)
            fail(QStringLiteral("%1 of %2").arg(QLatin1String(what)).arg(value));
    }

    void radius(const char *what)
    {
        if (number(what) < 0.0)
            fail(QStringLiteral("negative %1").arg(QLatin1String(what)));
    }

    void rectangle()
    {
        for (int i = 0; i < 4; ++i)
            integer();
    }

    void picture()
    {
        const qint32 width = integer();
        const qint32 height = integer();
        QByteArray codes;
        m_stream >> codes;
        if (width < 0 || height < 0)
            fail(QStringLiteral("a picture of %1x%2").arg(width).arg(height));
    }

    void member(int depth)
    {
        const qint32 type = integer();
        if (!fine())
            return;
        switch (type) {
        case 0:
            single();
            break;
        case 1:
            group(depth + 1);
            break;
        case 2:
            rectangle();
            if (const qint32 tag = integer(); tag == 2)
                picture();
            else if (tag != -1)
                fail(QStringLiteral("bitmap tag %1").arg(tag));
            break;
        default:
            fail(QStringLiteral("stroke type %1").arg(type));
        }
    }

    void single()
    {
        qint8 pen = 0;
        m_stream >> pen;
        if (const qint32 subType = integer(); subType < 0 || subType > 2)
            fail(QStringLiteral("sub-type %1").arg(subType));
        rectangle();
        quint32 points = 0;
        m_stream >> points;
        for (quint32 i = 0; i < points && fine(); ++i) {
            position("a sample");
            fraction("a pressure");
        }
        const qint32 segments = integer();
        for (qint32 i = 0; i < segments && fine(); ++i) {
            switch (integer()) {
            case 0:
                position("a dab");
                fraction("an opacity");
                radius("radius");
                break;
            case 1:
                position("a line's start");
                position("a line's end");
                fraction("an opacity");
                fraction("an opacity");
                radius("radius");
                radius("radius");
                break;
            case 2: {
                position("an arc's centre");
                radius("arc radius");
                position("an arc's start");
                position("an arc's end");
                qint8 clockwise = 0;
                m_stream >> clockwise;
                fraction("an opacity");
                fraction("an opacity");
                radius("radius");
                radius("radius");
                break;
            }
            default:
                fail(QStringLiteral("segment type"));
            }
        }
    }

    void group(int depth)
    {
        if (depth > 1000) {
            fail(QStringLiteral("groups nested beyond this reader"));
            return;
        }
        qint64 members = 0;
        m_stream >> members;
        if (members < 0)
            fail(QStringLiteral("a count of %1 members").arg(members));
        for (qint64 i = 0; i < members && fine(); ++i)
            member(depth);
        // The erase and clip paths; an empty one is its count alone.
        for (int path = 0; path < 2 && fine(); ++path) {
            const qint32 elements = integer();
            for (qint32 i = 0; i < elements && fine(); ++i) {
                integer();
                position("a path's point");
            }
            if (elements != 0) {
                integer();
                integer();
            }
        }
        // An affine transform that keeps something to show.
        double m[9];
        for (double &entry : m)
            entry = number("a transform's entry");
        if (fine() && (m[2] != 0.0 || m[5] != 0.0 || m[8] != 1.0))
            fail(QStringLiteral("a transform that is not affine"));
        if (fine() && m[0] * m[4] - m[1] * m[3] == 0.0)
            fail(QStringLiteral("a transform that flattens everything"));
    }

    QDataStream m_stream;
    QString m_fault;
};

// Empty when the record is whole and holds only what a stroke can; otherwise
// the first fault.
inline QString drawingFault(const QByteArray &record)
{
    return Reader(record).drawingFault();
}

inline QString strokeFault(const QByteArray &record)
{
    return Reader(record).strokeFault();
}

} // namespace StrictRecord
