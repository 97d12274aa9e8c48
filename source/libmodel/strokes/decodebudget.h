#pragma once

#include <QtGlobal>

namespace Model {

// How many bytes of images the reader of one record may still decode.
//
// A run-length image of any size takes a dozen bytes of record, so each image
// is held under its own cap and, while a budget is in force, all images of the
// record together under the budget: a tiny record cannot ask for gigabytes by
// holding many images. A budget is in force on the thread that made it for as
// long as it lives; one made while another is in force draws on both.
class DecodeBudget
{
public:
    // What a record that belongs to no drawing (a lone stroke tree) may
    // decode: twice the largest image a drawing keeps.
    static constexpr qint64 defaultBytes = qint64(512) * 1024 * 1024;

    explicit DecodeBudget(qint64 bytes);
    ~DecodeBudget();
    Q_DISABLE_COPY_MOVE(DecodeBudget)

    qint64 remaining() const;

    // Takes bytes from every budget in force, or, when any of them has less
    // left, nothing and answers false. Without a budget in force, true.
    static bool take(qint64 bytes);
    static bool isActive();

private:
    qint64 m_remaining;
    DecodeBudget *m_outer;
};

} // namespace Model
