#include "io/scenepayloads.h"

#include "io/sceneformat.h"

#include <QRandomGenerator>
#include <QStringView>

#include <algorithm>
#include <array>
#include <cstring>

namespace Model {

namespace {

// What every marker begins with; a document that holds it in its markup is
// left whole.
constexpr QByteArrayView Marker("!payload:");
constexpr std::array<QByteArrayView, 3> PayloadNames{QByteArrayView("strokes"), QByteArrayView("image"),
                                                      QByteArrayView("originalAudioData")};

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The bytes that the XML reader would not give as they stand in a text:
// references ('&'), the end of a character data section (']' may begin
// one), control characters other than white space and anything beyond
// ASCII; and '!', with which a marker begins.
const std::array<uchar, 256> Unfit = [] {
    std::array<uchar, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[size_t(c)] = (c < 0x20 && !isSpace(char(c))) || c > 0x7e || c == '&' || c == ']' || c == '!';
    return table;
}();

// A text from its start up to the next '<' (the end of the document when
// there is none): where it ends, how many lines it holds, and whether the
// XML reader gives it as it stands. A payload is long: eight bytes are
// looked at together, and only a word that may hold a '<', an unfit byte or
// a line break byte by byte.
struct Text
{
    qsizetype end = -1;
    qsizetype lines = 0;
    bool plain = true;
};

Text scanText(QByteArrayView document, qsizetype from)
{
    constexpr quint64 Ones = 0x0101010101010101;
    constexpr quint64 Highs = 0x8080808080808080;
    // Some byte of v is 0, or of v below n (for bytes below 0x80).
    const auto hasZero = [](quint64 v) { return (v - Ones) & ~v & Highs; };
    const auto hasBelow = [](quint64 v, quint64 n) { return (v - Ones * n) & ~v & Highs; };

    const auto *bytes = reinterpret_cast<const uchar *>(document.data());
    const qsizetype size = document.size();
    Text text;
    uchar unfit = 0;
    const auto byByte = [&](qsizetype at, qsizetype end) {
        for (; at < end; ++at) {
            if (bytes[at] == '<') {
                text.end = at;
                return true;
            }
            unfit |= Unfit[bytes[at]];
            text.lines += bytes[at] == '\n';
        }
        return false;
    };
    qsizetype at = from;
    bool ended = false;
    for (; !ended && at + 8 <= size; at += 8) {
        quint64 word;
        std::memcpy(&word, bytes + at, 8);
        const quint64 suspect = (word & Highs) | hasBelow(word, 0x20) | hasZero(word ^ (Ones * 0x7f))
            | hasZero(word ^ (Ones * '&')) | hasZero(word ^ (Ones * ']')) | hasZero(word ^ (Ones * '!'))
            | hasZero(word ^ (Ones * '<'));
        if (suspect)
            ended = byByte(at, at + 8);
    }
    if (!ended)
        byByte(at, size);
    text.plain = unfit == 0;
    return text;
}

// The index just past the first close at or after from; -1 when there is none.
qsizetype skipPast(QByteArrayView document, qsizetype from, QByteArrayView close)
{
    const qsizetype at = document.indexOf(close, from);
    return at < 0 ? -1 : at + close.size();
}

// The index of the '>' that ends a tag, reading from inside it: quoted
// attribute values may hold '>'. -1 for a tag that does not end, or meets a
// '<' outside quotes, which the XML reader refuses.
qsizetype tagEnd(QByteArrayView document, qsizetype from)
{
    char quote = 0;
    for (qsizetype i = from; i < document.size(); ++i) {
        const char c = document.at(i);
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i;
        } else if (c == '<') {
            return -1;
        }
    }
    return -1;
}

// Whether the document is read as UTF-8 (or its ASCII subset), so that its
// markup can be found byte by byte.
bool isUtf8(QByteArrayView document)
{
    qsizetype start = 0;
    if (document.startsWith("\xEF\xBB\xBF"))
        start = 3;
    // Other byte order marks, and the zero bytes of UTF-16 and UTF-32.
    if (document.startsWith("\xFE\xFF") || document.startsWith("\xFF\xFE"))
        return false;
    for (qsizetype i = 0; i < std::min<qsizetype>(document.size(), 4); ++i) {
        if (document.at(i) == '\0')
            return false;
    }
    if (!document.sliced(start).startsWith("<?xml"))
        return true;
    const qsizetype end = document.indexOf("?>", start);
    if (end < 0)
        return false;
    const QByteArray declaration = document.sliced(start, end - start).toByteArray().toLower();
    const qsizetype encoding = declaration.indexOf("encoding");
    if (encoding < 0)
        return true;
    const qsizetype quote = declaration.indexOf('=', encoding);
    const QByteArray value = declaration.mid(quote + 1).trimmed();
    return value.startsWith("\"utf-8\"") || value.startsWith("'utf-8'") || value.startsWith("\"us-ascii\"")
        || value.startsWith("'us-ascii'");
}

} // namespace

ScenePayloads::ScenePayloads(QByteArrayView document)
    : m_document(document)
{
    // The markers of this document: no document can foresee them, so that
    // no text of its own (character references included) reads as one.
    m_marker = Marker.toByteArray() + QByteArray::number(QRandomGenerator::global()->generate64(), 16)
        + QByteArray::number(QRandomGenerator::global()->generate64(), 16) + ':';
    m_utf8 = isUtf8(document);
    if (m_utf8)
        split();
}

void ScenePayloads::split()
{
    const QByteArrayView document = m_document;
    const qsizetype size = document.size();
    QByteArray markup;
    // Copied so far: document[0, copied). Every byte of the document is
    // either copied or in a payload taken out, which holds no '!'.
    qsizetype copied = 0;
    const auto copy = [&](qsizetype end) {
        const QByteArrayView piece = document.sliced(copied, end - copied);
        markup.append(piece);
        copied = end;
        return !piece.contains(Marker);
    };
    qsizetype at = 0;
    while (at < size) {
        const qsizetype open = document.indexOf('<', at);
        if (open < 0)
            break;
        const QByteArrayView rest = document.sliced(open);
        qsizetype after = -1;
        if (rest.startsWith("<!--")) {
            after = skipPast(document, open + 4, "-->");
        } else if (rest.startsWith("<![CDATA[")) {
            after = skipPast(document, open + 9, "]]>");
        } else if (rest.startsWith("<?")) {
            after = skipPast(document, open + 2, "?>");
        } else if (rest.startsWith("<!")) {
            // A declaration: one with an internal subset may declare
            // entities that make markup of their own.
            const qsizetype end = tagEnd(document, open + 2);
            if (end >= 0 && document.sliced(open, end - open).contains('['))
                return;
            after = end < 0 ? -1 : end + 1;
        } else if (rest.startsWith("</")) {
            const qsizetype end = tagEnd(document, open + 2);
            after = end < 0 ? -1 : end + 1;
        } else {
            const qsizetype end = tagEnd(document, open + 1);
            if (end < 0)
                break;
            after = end + 1;
            qsizetype nameEnd = open + 1;
            while (nameEnd < end && !isSpace(document.at(nameEnd)) && document.at(nameEnd) != '/')
                ++nameEnd;
            const QByteArrayView name = document.sliced(open + 1, nameEnd - open - 1);
            const bool empty = document.at(end - 1) == '/';
            if (!empty && std::find(PayloadNames.cbegin(), PayloadNames.cend(), name) != PayloadNames.cend()) {
                // The text up to the next tag, if that is the element's own
                // end tag and the text is plain.
                const Text text = scanText(document, after);
                const qsizetype textEnd = text.end;
                qsizetype closeAt = textEnd + 2 + name.size();
                const bool closed = textEnd > after && document.sliced(textEnd).startsWith("</")
                    && document.sliced(textEnd + 2).startsWith(name);
                while (closed && closeAt < size && isSpace(document.at(closeAt)))
                    ++closeAt;
                if (closed && closeAt < size && document.at(closeAt) == '>' && text.plain) {
                    if (!copy(after)) {
                        m_payloads.clear();
                        return;
                    }
                    markup.append(m_marker);
                    markup.append(QByteArray::number(m_payloads.size()));
                    markup.append('!');
                    // The lines stay where they were for the XML reader's
                    // error messages.
                    markup.append(QByteArray(text.lines, '\n'));
                    m_payloads.append({after, textEnd - after});
                    copied = textEnd;
                    after = textEnd;
                }
            }
        }
        if (after < 0)
            break;
        at = after;
    }
    if (!copy(size)) {
        m_payloads.clear();
        return;
    }
    m_markup = markup;
    m_split = true;
}

QByteArrayView ScenePayloads::markup() const
{
    return m_split ? QByteArrayView(m_markup) : m_document;
}

bool ScenePayloads::payload(QStringView text, QByteArray &into, SceneFormat::Strays *strays, qsizetype head) const
{
    if (!m_split)
        return false;
    const QStringView trimmed = text.trimmed();
    const QLatin1StringView marker(m_marker);
    if (!trimmed.startsWith(marker) || !trimmed.endsWith(u'!'))
        return false;
    bool ok = false;
    const qsizetype index = trimmed.sliced(marker.size(), trimmed.size() - marker.size() - 1).toLongLong(&ok);
    if (!ok || index < 0 || index >= m_payloads.size())
        return false;
    const auto [offset, length] = m_payloads.at(index);
    SceneFormat::decodeBase64(m_document.sliced(offset, head > 0 ? std::min(head, length) : length), into, strays);
    return true;
}

int ScenePayloads::count() const
{
    return int(m_payloads.size());
}

} // namespace Model
