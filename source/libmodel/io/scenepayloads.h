#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

class QStringView;

namespace Model {

namespace SceneFormat {
enum class Strays;
}

// A scene document taken apart into its markup and its Base64 payloads.
//
// Drawings, pictures and sound make up nearly all of a scene file, and an
// XML reader goes through text one character at a time, growing a string as
// it goes: several times slower than decoding the Base64 itself. This takes
// the payloads' text out before the XML reader sees the document, in one
// pass over its bytes, and leaves a short marker in each payload element,
// which the scene reader swaps back for the bytes.
//
// Only what is certainly a payload is taken out: the whole text of a
// "strokes", "image" or "originalAudioData" start tag in the document's
// content, when the element's end tag follows it and the text is what the
// XML reader would give as it stands (printable ASCII and white space,
// without references, the end of a character data section or '!').
// Comments, processing instructions, character data sections and
// declarations are passed over as the XML reader passes over them; a
// document that is not UTF-8, declares an internal subset, or holds
// "!payload:" (with which markers begin) in its markup is left whole. Each
// marker holds a number drawn afresh for every document, so that no text of
// a document, however written, reads as one. Either way the XML reader
// reads the same elements, attributes and texts, the payloads aside, and
// raises the same errors (at a column further left, on a line where a
// payload was taken out).
class ScenePayloads
{
public:
    // Takes the document apart; it must outlive this object.
    explicit ScenePayloads(QByteArrayView document);

    // The document for the XML reader: the markup, or the document itself
    // when it was left whole.
    QByteArrayView markup() const;
    // For the text of a payload element: whether it is the marker of a
    // payload taken out of it; if so, into receives the payload, decoded,
    // and strays what it held besides Base64 and white space. A head of
    // more than 0 characters decodes only as many of the payload's text.
    bool payload(QStringView text, QByteArray &into, SceneFormat::Strays *strays, qsizetype head = 0) const;
    int count() const;
    // Whether the XML reader reads the document as UTF-8 (or its ASCII
    // subset).
    bool readsAsUtf8() const { return m_utf8; }

private:
    void split();

    QByteArrayView m_document;
    // The text that stands for payload n is m_marker, n and '!'.
    QByteArray m_marker;
    QByteArray m_markup;
    bool m_split = false;
    bool m_utf8 = false;
    // Where each payload's text lies in the document.
    QList<std::pair<qsizetype, qsizetype>> m_payloads;
};

} // namespace Model
