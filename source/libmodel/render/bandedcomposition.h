#pragma once

#include <functional>
#include <memory>
#include <vector>

namespace Model {

// How many threads compose a picture in bands: one per core unless set.
// Setting 1 keeps all the work on the calling thread, which gives the same
// pixels; 0 goes back to one per core.
int compositionThreadCount();
void setCompositionThreadCount(int count);

// Pictures composed by a list of passes, each of which changes only the
// rows it is given, spread over the cores in bands of rows.
//
// Every band runs the passes in the order they were added, so each pixel
// goes through the same blends in the same order as on one thread, and the
// pixels come out the same however the bands fall. A whole pass (a
// QPainter, which draws where its transform takes it) runs on the calling
// thread once every band has finished the passes before it; the bands then
// go on with the passes after it.
//
// Band passes run on the global QThreadPool's threads as well as the calling
// one: they must touch only their own rows of pixels that no other thread
// writes, and read nothing that changes while the composition runs (a
// picture through PremultipliedRows, never a QImage's writable accessors).
// Threads of the pool that are busy elsewhere are not waited for: the calling
// thread takes their share.
class BandedComposition
{
public:
    // Changes rows top to bottom - 1 of the pictures.
    using BandPass = std::function<void(int top, int bottom)>;
    using WholePass = std::function<void()>;

    BandedComposition();
    ~BandedComposition();

    void addBandPass(BandPass pass);
    void addWholePass(WholePass pass);
    bool isEmpty() const;

    // Runs the passes over rows 0 to height - 1 and forgets them.
    void run(int height);

private:
    struct Pass
    {
        BandPass band;
        WholePass whole;
    };
    std::vector<Pass> m_passes;
};

} // namespace Model
