#pragma once

#include "audio/soundfile.h"

#include <QByteArrayView>
#include <QList>

namespace Model {

// Uncompressed samples whose bytes fall out of step: bytes added to a file
// or lost from it, anywhere but a multiple of a sample, leave every sample
// after them made of the ends of two. Read so, the loudest byte of each is
// one of the least, which takes any value from sample to sample: a sound
// plays as full-scale noise from there on, and nothing in the file's sizes
// may tell (a WAV written while streaming states none).
//
// This only finds such a place, so that the user can be told; the samples
// stay the file's. Healthy sound can read as noise too (clipped noise,
// hiss, tones near half the rate), so a place is told only where nothing
// healthy reads so: a stretch whose loudest bytes spread evenly over every
// value, as least bytes do and the loudest bytes of sound do not, and that
// reads as smooth sound at another alignment, after a stretch that read as
// sound at the file's own. A sound that reads as noise, or as sound, at
// every alignment tells nothing, and nothing is told of it.
namespace SampleSteps {

// Where samples fall out of step, as the byte at which the first sample
// out of step begins, earliest first. Nothing for samples of one byte,
// which cannot fall out of step, nor for samples wider than 32 bits.
QList<qint64> find(QByteArrayView file, const SoundFile::PcmLayout &layout);

} // namespace SampleSteps

} // namespace Model
