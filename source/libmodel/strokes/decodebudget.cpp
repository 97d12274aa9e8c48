#include "decodebudget.h"

namespace Model {

namespace {

// The innermost budget in force on this thread; each links to the one it
// was made inside.
thread_local DecodeBudget *innermost = nullptr;

} // namespace

DecodeBudget::DecodeBudget(qint64 bytes)
    : m_remaining(qMax<qint64>(bytes, 0))
    , m_outer(innermost)
{
    innermost = this;
}

DecodeBudget::~DecodeBudget()
{
    innermost = m_outer;
}

qint64 DecodeBudget::remaining() const
{
    return m_remaining;
}

bool DecodeBudget::take(qint64 bytes)
{
    if (bytes < 0)
        return false;
    for (const DecodeBudget *budget = innermost; budget; budget = budget->m_outer) {
        if (budget->m_remaining < bytes)
            return false;
    }
    for (DecodeBudget *budget = innermost; budget; budget = budget->m_outer)
        budget->m_remaining -= bytes;
    return true;
}

void DecodeBudget::noteLoss()
{
    for (DecodeBudget *budget = innermost; budget; budget = budget->m_outer)
        ++budget->m_losses;
}

int DecodeBudget::losses() const
{
    return m_losses;
}

} // namespace Model
