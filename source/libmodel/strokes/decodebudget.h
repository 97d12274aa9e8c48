#pragma once

#include <QtGlobal>

#include <limits>

namespace Model {

// How many bytes of images a reader may still decode.
//
// A run-length image of any size takes a dozen bytes of record, so whatever
// decodes images from outside bytes does it under a budget: each image is
// held under its own cap and, while a budget is in force, all images together
// under the budget, so that a tiny record cannot ask for gigabytes by holding
// many images. A budget is in force on the thread that made it for as long
// as it lives; one made while another is in force draws on both.
//
// Readers that keep an image as its code (collapsed pictures) decode nothing
// while they read; they note each image they could not keep because its
// record is damaged, and every budget in force counts it, so that whoever
// read the record can tell the user.
class DecodeBudget
{
public:
    // A budget that bounds nothing of its own: made around a reader, it
    // gathers the images the reader lost.
    static constexpr qint64 unboundedBytes = std::numeric_limits<qint64>::max();

    explicit DecodeBudget(qint64 bytes);
    ~DecodeBudget();
    Q_DISABLE_COPY_MOVE(DecodeBudget)

    qint64 remaining() const;

    // Takes bytes from every budget in force, or, when any of them has less
    // left, nothing and answers false. Without a budget in force, true.
    static bool take(qint64 bytes);

    // Counts an image lost to a damaged record on every budget in force:
    // its record does not decode, or is not one a drawing holds.
    static void noteLoss();
    // The images lost while this budget was in force.
    int losses() const;

private:
    qint64 m_remaining;
    DecodeBudget *m_outer;
    int m_losses = 0;
};

} // namespace Model
