#pragma once

#include "audio/soundfile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace Model {

// Uncompressed samples whose bytes fall out of step: bytes added to a file
// or lost from it, anywhere but a multiple of a sample, leave every sample
// after them made of the ends of two. Read so, the loudest byte of each is
// one of the least, which varies from sample to sample as noise does: a
// sound turns into full-scale noise where it was quiet, and nothing in the
// file's sizes may tell (a WAV written while streaming states none).
//
// Sound varies smoothly from sample to sample at its own alignment, and
// noise does not; so a stretch that plays as noise at the alignment the
// sound had before it, and smoothly at another, is one that fell out of
// step. Each such place is found to the byte where the two readings join
// best, and the few bytes there that keep the samples out of step are left
// out. Only a clear difference counts: a stretch that is smooth, or rough,
// at every alignment (silence, noise, sound of so few levels that a byte of
// each sample never changes) tells nothing, and a sound that does not start
// in step with its header is left as it is.
namespace SampleSteps {

struct Step
{
    // The bytes [at, at + dropped) are left out.
    qint64 at = 0;
    int dropped = 0;
};

// Nothing for samples of one byte, which cannot fall out of step.
QList<Step> find(QByteArrayView file, const SoundFile::PcmLayout &layout);
QByteArray withoutSteps(QByteArrayView file, const QList<Step> &steps);

} // namespace SampleSteps

} // namespace Model
