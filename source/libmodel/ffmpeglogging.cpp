#include "ffmpeglogging.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstdarg>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace Model {

Q_LOGGING_CATEGORY(ffmpegLog, "kelvane.ffmpeg", QtWarningMsg)

namespace {

int levelLetThrough()
{
    const QLoggingCategory &category = ffmpegLog();
#ifndef QT_NO_DEBUG_OUTPUT
    if (category.isDebugEnabled())
        return AV_LOG_DEBUG;
#endif
    if (category.isInfoEnabled())
        return AV_LOG_INFO;
    if (category.isWarningEnabled())
        return AV_LOG_WARNING;
    return AV_LOG_ERROR;
}

void writeLine(int level, const QByteArray &line)
{
    const QString text = QString::fromUtf8(line);
    if (level <= AV_LOG_ERROR)
        qCCritical(ffmpegLog).noquote() << text;
    else if (level <= AV_LOG_WARNING)
        qCWarning(ffmpegLog).noquote() << text;
    else if (level <= AV_LOG_INFO)
        qCInfo(ffmpegLog).noquote() << text;
    else
        qCDebug(ffmpegLog).noquote() << text;
}

// FFmpeg may log from any of the export's threads, and it sends a line in
// pieces that only the last one ends with a newline: each thread gathers
// its own line and writes it whole, at the gravest level of its pieces.
void logFromFfmpeg(void *object, int level, const char *format, va_list arguments)
{
    level &= 0xff; // the upper bits carry a colour
    if (level > av_log_get_level())
        return;
    thread_local int printPrefix = 1;
    thread_local QByteArray pending;
    thread_local int pendingLevel = AV_LOG_TRACE;
    char piece[1024];
    va_list copy;
    va_copy(copy, arguments);
    av_log_format_line2(object, level, format, copy, piece, sizeof piece, &printPrefix);
    va_end(copy);
    pending += piece;
    pendingLevel = std::min(pendingLevel, level);
    qsizetype end = 0;
    while ((end = pending.indexOf('\n')) >= 0) {
        const QByteArray line = pending.left(end);
        pending.remove(0, end + 1);
        if (!line.trimmed().isEmpty())
            writeLine(pendingLevel, line);
        pendingLevel = pending.isEmpty() ? AV_LOG_TRACE : level;
    }
}

} // namespace

void routeFfmpegLogging()
{
    static std::once_flag once;
    std::call_once(once, [] {
        av_log_set_level(levelLetThrough());
        av_log_set_callback(logFromFfmpeg);
    });
}

} // namespace Model
