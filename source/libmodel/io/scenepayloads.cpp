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

// A text from its start up to the next '<' (the end of the document when
// there is none): where it ends, how many lines it holds, and whether the
// XML reader gives it as it stands.
struct Text
{
    qsizetype end = -1;
    qsizetype lines = 0;
    bool plain = true;
};

Text scanText(QByteArrayView document, qsizetype from)
{
    const char *begin = document.data() + from;
    const qsizetype available = document.size() - from;
    const void *open = available > 0 ? std::memchr(begin, '<', size_t(available)) : nullptr;
    const qsizetype length = open ? static_cast<const char *>(open) - begin : std::max<qsizetype>(available, 0);
    Text text;
    text.end = open ? from + length : -1;
    // A payload is long: the loop is kept simple enough for the compiler to
    // look at many bytes at once, in runs short enough for byte counters.
    // Unfit are the bytes that the XML reader would not give as they stand
    // (references, ']' that may end a character data section, control
    // characters other than white space, anything beyond ASCII) and '!',
    // with which a marker begins.
    const auto *bytes = reinterpret_cast<const uchar *>(begin);
    uchar unfit = 0;
    for (qsizetype run = 0; run < length; run += 255) {
        const qsizetype end = std::min(length, run + 255);
        uchar lines = 0;
        for (qsizetype i = run; i < end; ++i) {
            const uchar c = bytes[i];
            lines += c == '\n';
            unfit |= uchar(c > 0x7e) | uchar(c == '&') | uchar(c == ']') | uchar(c == '!')
                | (uchar(c < 0x20) & uchar(c != '\n') & uchar(c != '\r') & uchar(c != '\t'));
        }
        text.lines += lines;
    }
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
    if (isUtf8(document))
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

bool ScenePayloads::payload(QStringView text, QByteArray &into, bool *clean) const
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
    SceneFormat::decodeBase64(m_document.sliced(offset, length), into, clean);
    return true;
}

int ScenePayloads::count() const
{
    return int(m_payloads.size());
}

} // namespace Model
