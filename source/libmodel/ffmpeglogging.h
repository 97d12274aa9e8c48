#pragma once

#include <QLoggingCategory>

namespace Model {

// FFmpeg's messages, one line each, in the logging category "kelvane.ffmpeg".
// Warnings and errors show by default; a user who wants FFmpeg's
// information lines (or, in a debug build, its debug lines) turns them on
// with QT_LOGGING_RULES="kelvane.ffmpeg.info=true" before starting.
Q_DECLARE_LOGGING_CATEGORY(ffmpegLog)

// Hands FFmpeg's log to Qt's logging through that category and sets
// FFmpeg's level to what the category lets through, so that FFmpeg does not
// even format the rest. The first call does it, later calls nothing; the
// library's start-up makes the first.
void routeFfmpegLogging();

} // namespace Model
