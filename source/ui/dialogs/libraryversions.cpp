#include "dialogs/libraryversions.h"

#include <QtGlobal>

#include <openssl/crypto.h>

extern "C" {
#include <libavutil/avutil.h>
}

namespace LibraryVersions {

QString qt()
{
    return QString::fromLatin1(qVersion());
}

QString openSsl()
{
    return QString::fromLatin1(OpenSSL_version(OPENSSL_VERSION));
}

QString ffmpeg()
{
    return QString::fromLatin1(av_version_info());
}

} // namespace LibraryVersions
