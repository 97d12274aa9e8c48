#pragma once

#include <QByteArray>
#include <QColor>
#include <QDataStream>
#include <QLatin1StringView>
#include <QString>
#include <QStringView>
#include <QTransform>
#include <QUuid>

#include <optional>

class QObject;

namespace Model {

// What the scene reader and writer share about the ".kl" document: its
// version, the encodings of attribute and element values, the settings of the
// binary streams that carry drawings, and the off-pegs transform as the file
// stores it. Writer and reader go through these, so that a value written is
// a value read back.
namespace SceneFormat {

// The only document version written and accepted.
inline constexpr QLatin1StringView Version{"0.4"};

// Every embedded stream (strokes, pictures, annotations) is written and read
// at this version, Qt 6.0's, which Qt 6.4 gives new streams. Set explicitly,
// so that a later Qt with another default cannot change the bytes.
inline constexpr int PayloadStreamVersion = QDataStream::Qt_6_0;

// The longest frame side a scene can have: the scene settings offer sides
// of 1 to 8192 pixels. A file that claims more is damaged.
inline constexpr int MaximumFrameSide = 8192;

// What read() and write() answer.
enum Result : int { Done = 0, Failed = 1, Cancelled = 2 };

// Integers in decimal; doubles as the shortest text that reads back the same
// (1 for 1.0) or with six significant digits (23.976, 0.333333).
QString integerText(qint64 value);
QString shortDecimal(double value);
QString sixDigits(double value);
// "yes" or "no".
QString flagText(bool value);
// Braced lower-case hexadecimal.
QString identifierText(const QUuid &identifier);
// "#rrggbb" when opaque, "#aarrggbb" otherwise.
QString colorText(const QColor &color);

// A 32-bit decimal integer; nullopt for any other text.
std::optional<int> readInteger(QStringView text);
// A decimal number; nullopt for a text that is not one (or not finite).
std::optional<double> readNumber(QStringView text);
// Any value but "no" is true.
bool readFlag(QStringView text);
// With or without braces; null for a malformed text, which counts as absent.
QUuid readIdentifier(QStringView text);
// Whatever the colour parser takes: "#rgb", "#rrggbb", "#aarrggbb", names.
QColor readColor(QStringView text);
// What a Base64 text holds besides its data and white space: nothing;
// characters outside the alphabet between whole groups of four, so that the
// groups read whole once they are skipped (whether the data they make is
// whole, only its own checks can tell: four characters replaced by strays
// leave whole groups); such characters where the groups are not whole, so
// that some of the data's own characters are missing or were replaced; or
// no such characters, but groups that cannot be whole (a character of the
// data missing where the writer padded, or one too many), so that every
// byte after the fault is shifted.
enum class Strays { None, BesideWholeData, InBrokenData, Miscounted };
// Standard Base64; characters outside the alphabet are skipped. strays,
// when given, tells of them.
QByteArray readBase64(QStringView text, Strays *strays = nullptr);
// The same decoding of Latin-1 text: what QByteArray::fromBase64() gives,
// several times faster on long texts. The second form decodes into a
// buffer that keeps its memory from one payload to the next.
QByteArray decodeBase64(QByteArrayView text, Strays *strays = nullptr);
void decodeBase64(QByteArrayView text, QByteArray &into, Strays *strays = nullptr);

// The stream of one embedded payload, on bytes of its own: big-endian at
// PayloadStreamVersion, with 32-bit floats for stroke drawings.
enum class Payload { Strokes, Image, Annotation };
void preparePayloadStream(QDataStream &stream, Payload payload);

// An off-pegs transform as the file keeps it: rotation and translation only.
struct OffPegs
{
    double x = 0.0;
    double y = 0.0;
    double degrees = 0.0;
};
// Nothing for the identity; scale and shear are not kept.
std::optional<OffPegs> decomposeOffPegs(const QTransform &transform);
// Rotates about the origin, then translates; a part that is absent adds
// nothing.
QTransform composeOffPegs(std::optional<double> x, std::optional<double> y, std::optional<double> degrees);

// Sets up a progress dialog (any object with QProgressDialog's properties)
// as the reader and writer show theirs: window-modal, with the label and a
// cancel button, hidden for the first two seconds, as small as its contents,
// reset. Nothing without one.
void prepareProgress(QObject *progress, const QString &label, const QString &cancelText);

} // namespace SceneFormat

} // namespace Model
