#pragma once

// What each fuzz target defines, and what they share.
//
// A target is one file, fuzz_<name>.cpp, that defines Fuzz::testOneInput and
// Fuzz::seeds, and one kl_add_fuzz_target(<name>) line in fuzz/CMakeLists.txt.
// Its corpus lives in fuzz/corpus/<name>/: the seeds that the library's own
// writers make (written there by the replay program's --write-seeds) and
// every input that ever found a fault, kept as a test.

#include "support/testsupport.h"

#include <QByteArray>
#include <QDataStream>
#include <QList>
#include <QRgb>

namespace Fuzz {

// Runs one input through the reader and whatever a user does next with what
// it read. Keeps nothing from one input to the next. A fault is a crash, a
// sanitizer report, or a broken promise checked with expect().
void testOneInput(const QByteArray &input);

// Inputs that the library's own writers make: where the fuzzer starts.
QList<QByteArray> seeds();

// Aborts with the message when condition is false: the reader broke one of
// its promises (a record that does not read back as it was written, say).
void expect(bool condition, const char *message);

// Records as files and the clipboard carry them, written and read as the
// tests do.
using TestSupport::prepareRecordStream;
using TestSupport::record;

// A layer's colour table: entry i is colour at coverage i.
QList<QRgb> colourTable(QRgb colour);

// Whether the off-screen renderer runs, so that pen and eraser strokes are
// rasterised too (it needs OpenGL, reachable here only through an X server).
bool rendererRunning();

} // namespace Fuzz
