#pragma once

#include <QString>

namespace UI {

// The build's git description taken apart. `git describe --long` writes
// "<tag>-<commits since the tag>-g<abbreviated hash>"; it is read from the
// right, so a tag may itself hold "-" ("v1.0-rc1-3-g1a2b3c4" is the tag
// "v1.0-rc1"). A description that is only a hash (no tag reachable) gives
// the hash and no tag; anything else, an empty text included (a build
// outside a git checkout), gives neither.
struct GitDescription
{
    QString tag;
    // "g" and the abbreviated commit hash, as git writes it.
    QString hash;

    static GitDescription parse(const QString &description);
};

} // namespace UI
