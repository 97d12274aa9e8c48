#pragma once

#include <QtGlobal>

#include <limits>

namespace Model {

// How many bytes of images the reader of one record may still decode.
//
// A run-length image of any size takes a dozen bytes of record, so each image
// is held under its own cap and, while a budget is in force, all images of the
// record together under the budget: a tiny record cannot ask for gigabytes by
// holding many images. A budget is in force on the thread that made it for as
// long as it lives; one made while another is in force draws on both.
//
// Readers give back what a damaged record spared, so an image that cannot be
// decoded costs only itself; each such loss is counted by every budget in
// force, so that whoever read the record can tell the user.
class DecodeBudget
{
public:
    enum class Loss {
        // The image's record does not decode, or is not one a drawing holds.
        Damaged,
        // It would take more than the budget has left.
        OverBudget,
    };

    // What a record that belongs to no drawing (a lone stroke tree) may
    // decode: twice the largest image a drawing keeps.
    static constexpr qint64 defaultBytes = qint64(512) * 1024 * 1024;
    // A budget that bounds nothing of its own: made around a reader whose
    // records bring their own budgets, it gathers their losses.
    static constexpr qint64 unboundedBytes = std::numeric_limits<qint64>::max();

    explicit DecodeBudget(qint64 bytes);
    ~DecodeBudget();
    Q_DISABLE_COPY_MOVE(DecodeBudget)

    qint64 remaining() const;

    // Takes bytes from every budget in force, or, when any of them has less
    // left, nothing and answers false. Without a budget in force, true.
    static bool take(qint64 bytes);
    static bool isActive();

    // Counts an image lost while reading on every budget in force.
    static void noteLoss(Loss loss);
    // The images lost while this budget was in force.
    int losses(Loss loss) const;

private:
    qint64 m_remaining;
    DecodeBudget *m_outer;
    int m_damaged = 0;
    int m_overBudget = 0;
};

} // namespace Model
