#include "paper/holdkey.h"

namespace UI {

namespace {

// GUI thread only, like every reader and writer.
bool s_holdKeyResolved = true;

} // namespace

bool holdKeyResolved()
{
    return s_holdKeyResolved;
}

void setHoldKeyResolved(bool resolved)
{
    s_holdKeyResolved = resolved;
}

} // namespace UI
