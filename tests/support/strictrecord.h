#pragma once

// A reader of stroke records that knows nothing of the program's own: it
// walks a record field by field as the format lays it out and finds fault
// with anything a careful reader elsewhere would refuse. Whatever the program
// writes must pass it, however damaged the file it was read from.

#include <QByteArray>
#include <QDataStream>
#include <QString>

#include <cmath>
#include <vector>

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

    // A stroke drawing's record: its size and root group, then no picture
    // (-1), a run-length picture (2), or nothing.
    QString drawingFault()
    {
        integer();
        integer();
        group();
        if (fine() && !m_stream.atEnd()) {
            const qint32 tag = integer();
            if (tag == 2)
                picture();
            check(tag == 2 || tag == -1, "a picture tag");
        }
        return end();
    }

    // A type code and the stroke record that follows it.
    QString strokeFault()
    {
        member();
        return end();
    }

private:
    QString end()
    {
        check(m_stream.status() == QDataStream::Ok, "a record that ends early");
        check(m_stream.atEnd(), "bytes after the record");
        return m_fault;
    }

    void check(bool good, const char *fault)
    {
        if (!good && m_fault.isEmpty())
            m_fault = QString::fromLatin1(fault);
    }

    bool fine() const { return m_fault.isEmpty() && m_stream.status() == QDataStream::Ok; }

    qint32 integer()
    {
        qint32 value = 0;
        m_stream >> value;
        return value;
    }

    double number()
    {
        float value = 0.0f;
        m_stream >> value;
        check(std::isfinite(value), "a number that is not finite");
        return value;
    }

    // No drawing reaches further from its origin than 2^24 pixels.
    void position()
    {
        const double x = number();
        const double y = number();
        check(std::abs(x) <= 16777216.0 && std::abs(y) <= 16777216.0, "a position beyond any drawing");
    }

    void fraction()
    {
        const double value = number();
        check(value >= 0.0 && value <= 1.0, "an opacity or pressure outside 0 to 1");
    }

    void radius() { check(number() >= 0.0, "a negative radius"); }

    void picture()
    {
        const qint32 width = integer();
        const qint32 height = integer();
        QByteArray codes;
        m_stream >> codes;
        check(width >= 0 && height >= 0, "a picture of a negative size");
    }

    void member()
    {
        const qint32 type = integer();
        if (type == 1)
            group();
        else
            leaf(type);
    }

    void leaf(qint32 type)
    {
        switch (type) {
        case 0:
            single();
            break;
        case 2:
            for (int i = 0; i < 4; ++i)
                integer();
            if (const qint32 tag = integer(); tag == 2)
                picture();
            else
                check(tag == -1, "a bitmap tag");
            break;
        default:
            check(false, "a stroke type");
        }
    }

    void single()
    {
        qint8 pen = 0;
        m_stream >> pen;
        const qint32 subType = integer();
        check(subType >= 0 && subType <= 2, "a sub-type");
        for (int i = 0; i < 4; ++i)
            integer();
        quint32 points = 0;
        m_stream >> points;
        for (quint32 i = 0; i < points && fine(); ++i) {
            position();
            fraction();
        }
        const qint32 segments = integer();
        for (qint32 i = 0; i < segments && fine(); ++i) {
            switch (integer()) {
            case 0:
                position();
                fraction();
                radius();
                break;
            case 1:
                position();
                position();
                fraction();
                fraction();
                radius();
                radius();
                break;
            case 2: {
                position();
                radius();
                position();
                position();
                qint8 clockwise = 0;
                m_stream >> clockwise;
                fraction();
                fraction();
                radius();
                radius();
                break;
            }
            default:
                check(false, "a segment type");
            }
        }
    }

    // Groups nest as deep as edits take them: the levels are kept in a
    // list rather than on the call stack.
    void group()
    {
        std::vector<qint64> remaining;
        const auto open = [&]() {
            qint64 members = 0;
            m_stream >> members;
            check(members >= 0, "a negative member count");
            remaining.push_back(members);
        };
        open();
        while (!remaining.empty() && fine()) {
            if (remaining.back() > 0) {
                --remaining.back();
                const qint32 type = integer();
                if (type == 1)
                    open();
                else
                    leaf(type);
                continue;
            }
            tail();
            remaining.pop_back();
        }
    }

    // A group's erase and clip paths (an empty one is its count alone) and
    // its transform, which must be affine and keep something to show.
    void tail()
    {
        for (int path = 0; path < 2 && fine(); ++path) {
            const qint32 elements = integer();
            for (qint32 i = 0; i < elements && fine(); ++i) {
                integer();
                position();
            }
            if (elements != 0) {
                integer();
                integer();
            }
        }
        double m[9];
        for (double &entry : m)
            entry = number();
        check(!fine() || (m[2] == 0.0 && m[5] == 0.0 && m[8] == 1.0), "a transform that is not affine");
        check(!fine() || m[0] * m[4] - m[1] * m[3] != 0.0, "a transform that flattens everything");
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
