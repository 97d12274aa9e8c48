#pragma once

#include <QAudio>
#include <QtGlobal>

namespace Model {

// The state of an audio output as QAudioSink reports it. Qt 6.7 moved the
// enumeration from QAudio to QtAudio; naming it only through this alias keeps
// that move to one line. Queued connections need it registered, which
// Model::AudioBuffer does on construction.
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
using AudioState = QtAudio::State;
#else
using AudioState = QAudio::State;
#endif

} // namespace Model
