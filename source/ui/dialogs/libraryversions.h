#pragma once

#include <QString>

// The versions of the libraries the running program has loaded, which may
// differ from those it was built against. Outside namespace UI on purpose:
// OpenSSL's headers declare a global type named UI, so the file that asks
// OpenSSL must not see that namespace.
namespace LibraryVersions {

// As qVersion() gives it, for example "6.4.2".
QString qt();
// OpenSSL's own full text, for example "OpenSSL 3.0.19 27 Jan 2026".
QString openSsl();
// FFmpeg's version text, for example "5.1.9-0+deb12u1".
QString ffmpeg();

} // namespace LibraryVersions
