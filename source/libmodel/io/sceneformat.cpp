#include "io/sceneformat.h"

#include "export/exportprogress.h"

#include <QMetaObject>
#include <QObject>
#include <QSize>
#include <QVariant>

#include <algorithm>
#include <array>
#include <cmath>

namespace Model::SceneFormat {

namespace {

// Below this a matrix entry counts as zero when the angle is taken.
constexpr double Tiny = 1e-12;
constexpr double DegreesPerRadian = 57.29577951308232;
constexpr int ProgressHiddenMs = 2000;

bool isBase64Character(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/'
        || c == '=';
}

} // namespace

QString integerText(qint64 value)
{
    return QString::number(value);
}

QString shortDecimal(double value)
{
    return QVariant(value).toString();
}

QString sixDigits(double value)
{
    return QString::number(value, 'g', 6);
}

QString flagText(bool value)
{
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

QString identifierText(const QUuid &identifier)
{
    return identifier.toString();
}

QString colorText(const QColor &color)
{
    return color.name(color.alpha() == 255 ? QColor::HexRgb : QColor::HexArgb);
}

std::optional<int> readInteger(QStringView text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

std::optional<double> readNumber(QStringView text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    // "inf" and "nan" parse, but no value of the file may be either.
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

bool readFlag(QStringView text)
{
    return text != u"no";
}

QUuid readIdentifier(QStringView text)
{
    return QUuid::fromString(text);
}

QColor readColor(QStringView text)
{
    return QColor::fromString(text);
}

QByteArray readBase64(QStringView text, Strays *strays)
{
    // Characters beyond Latin-1 become '?', which is no Base64 either.
    return decodeBase64(text.toLatin1(), strays);
}

QByteArray decodeBase64(QByteArrayView text, Strays *strays)
{
    QByteArray decoded;
    decodeBase64(text, decoded, strays);
    return decoded;
}

void decodeBase64(QByteArrayView text, QByteArray &into, Strays *strays)
{
    // The value of each character, -1 for those the decoder skips (padding
    // included: like Qt's decoder, this one reads on after it).
    static const std::array<qint8, 256> values = [] {
        std::array<qint8, 256> table{};
        table.fill(-1);
        const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int i = 0; i < 64; ++i)
            table[uchar(alphabet[i])] = qint8(i);
        return table;
    }();
    // The bits of a character at each of the four places of a group, with
    // the top bit set for those the decoder skips: four looks and an or
    // make a group of three bytes, or tell that it holds something else.
    constexpr quint32 Skipped = 0x80000000u;
    static const std::array<std::array<quint32, 256>, 4> places = [] {
        std::array<std::array<quint32, 256>, 4> tables{};
        for (size_t place = 0; place < 4; ++place) {
            for (size_t c = 0; c < 256; ++c)
                tables[place][c] = values[c] < 0 ? Skipped : quint32(values[c]) << (18 - 6 * place);
        }
        return tables;
    }();
    const auto group = [](const uchar *at) {
        return places[0][at[0]] | places[1][at[1]] | places[2][at[2]] | places[3][at[3]];
    };

    into.resize(text.size() / 4 * 3 + 3);
    char *out = into.data();
    qsizetype written = 0;
    const auto *in = reinterpret_cast<const uchar *>(text.data());
    const uchar *const end = in + text.size();
    quint32 bits = 0;
    int pending = 0;
    bool junk = false;
    qsizetype padding = 0;
    while (in < end) {
        // Runs of the alphabet, four characters to three bytes, two groups
        // at a time.
        if (pending == 0) {
            while (end - in >= 8) {
                const quint32 first = group(in);
                const quint32 second = group(in + 4);
                if ((first | second) & Skipped)
                    break;
                char *to = out + written;
                to[0] = char(first >> 16);
                to[1] = char(first >> 8);
                to[2] = char(first);
                to[3] = char(second >> 16);
                to[4] = char(second >> 8);
                to[5] = char(second);
                written += 6;
                in += 8;
            }
            if (end - in >= 4) {
                const quint32 single = group(in);
                if (!(single & Skipped)) {
                    out[written++] = char(single >> 16);
                    out[written++] = char(single >> 8);
                    out[written++] = char(single);
                    in += 4;
                    continue;
                }
            }
            if (in == end)
                break;
        }
        const uchar character = *in++;
        const int value = values[character];
        if (value < 0) {
            if (character == '=')
                ++padding;
            else if (!isBase64Character(char(character)) && character != ' ' && character != '\n'
                     && character != '\r' && character != '\t')
                junk = true;
            continue;
        }
        bits = bits << 6 | quint32(value);
        pending += 6;
        if (pending >= 8) {
            pending -= 8;
            out[written++] = char(bits >> pending);
            bits &= (1u << pending) - 1;
        }
    }
    into.truncate(written);
    if (strays) {
        // Each character of the alphabet gave six bits; the writer pads the
        // last group to four characters. A text without padding may end in
        // a group of two or three, but never of one.
        const qsizetype characters = (written * 8 + pending) / 6;
        const bool groupsWhole = padding == 0 ? characters % 4 != 1 : (characters + padding) % 4 == 0;
        if (!junk)
            *strays = groupsWhole ? Strays::None : Strays::Miscounted;
        else if (characters > 0 && (characters + padding) % 4 == 0)
            *strays = Strays::BesideWholeData;
        else
            *strays = Strays::InBrokenData;
    }
}

void preparePayloadStream(QDataStream &stream, Payload payload)
{
    stream.setVersion(PayloadStreamVersion);
    stream.setByteOrder(QDataStream::BigEndian);
    stream.setFloatingPointPrecision(payload == Payload::Strokes ? QDataStream::SinglePrecision
                                                                 : QDataStream::DoublePrecision);
}

std::optional<OffPegs> decomposeOffPegs(const QTransform &transform)
{
    if (transform.isIdentity())
        return std::nullopt;
    const double m11 = transform.m11();
    const double m12 = transform.m12();
    const double m21 = transform.m21();
    const double m22 = transform.m22();
    double angle = 0.0;
    if (std::abs(m11) > Tiny || std::abs(m12) > Tiny) {
        angle = std::acos(m11 / std::sqrt(m11 * m11 + m12 * m12));
        if (!(m12 > 0.0))
            angle = -angle;
    } else if (std::abs(m21) > Tiny || std::abs(m22) > Tiny) {
        const double v = m22 > 0.0 ? -m21 : m21;
        angle = M_PI / 2.0 - std::acos(v / std::sqrt(m21 * m21 + m22 * m22));
    }
    return OffPegs{transform.dx(), transform.dy(), angle * DegreesPerRadian};
}

QTransform composeOffPegs(std::optional<double> x, std::optional<double> y, std::optional<double> degrees)
{
    QTransform transform;
    if (x)
        transform.translate(*x, 0.0);
    if (y)
        transform.translate(0.0, *y);
    if (degrees)
        transform.rotate(*degrees);
    return transform;
}

void prepareProgress(QObject *progress, const QString &label, const QString &cancelText)
{
    if (!progress)
        return;
    progress->setProperty("windowModality", QVariant::fromValue(Qt::WindowModal));
    progress->setProperty("labelText", label);
    if (progress->metaObject()->indexOfMethod("setCancelButtonText(QString)") >= 0)
        QMetaObject::invokeMethod(progress, "setCancelButtonText", Q_ARG(QString, cancelText));
    progress->setProperty("minimumDuration", ProgressHiddenMs);
    // A dialog that keeps its size does not jump about while its label and
    // button stay the same.
    const QVariant hint = progress->property("sizeHint");
    if (hint.isValid()) {
        progress->setProperty("minimumSize", hint);
        progress->setProperty("maximumSize", hint);
    }
    ExportProgress(progress).reset();
}

} // namespace Model::SceneFormat
