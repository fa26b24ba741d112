// Writing and reading the shared frame ring (FrameRingLayout.h) in a block of memory, whoever mapped it.
// A frame being written, or overwritten while it is read, never reaches a reader: each slot's sequence
// number is odd during a write and is compared before and after the reader uses the picture.
#pragma once

#include "platform/ring/FrameRingLayout.h"

#include <cstdint>
#include <string>

namespace vistrel::ring {

enum class RingState
{
    Valid,
    Empty,        // not laid out yet (all zero, or being laid out)
    OtherVersion, // a ring of another layout version
    Damaged       // a header whose values do not describe a ring within the block
};

// The holder's side. Not thread-safe; one writer per ring, which the holder lock guarantees.
class RingWriter
{
public:
    // `block` of `size` bytes, page-aligned, at least kRingSize.
    RingWriter(void *block, uint64_t size);

    // Lays the ring out, or takes it over as it is when it already has this layout: then the frame numbers go
    // on but no earlier frame is offered any more. False if the block is too small.
    bool prepare(uint32_t processId);
    // Memory for a picture of width x height (with kPicturePadding bytes after it), in the slot after the
    // newest frame, which readers skip until commit; null if the picture does not fit a slot.
    uint8_t *begin(uint32_t width, uint32_t height);
    // Publishes the picture begun last.
    void commit(uint64_t publishTimeNs);
    // The picture begun last could not be made; its slot stays skipped.
    void abandon();
    // The holder lets the session go.
    void leave();

private:
    SlotHeader *slot(uint32_t index) const;
    // Valid and laid out as this writer writes, so that frames already there can stay.
    bool hasOwnLayout() const;

    uint8_t *m_block;
    uint64_t m_size;
    SlotHeader *m_writing = nullptr;
    uint32_t m_writingNumber = 0;
};

// One frame as a reader finds it; `pixels` points into the ring and may change under the reader until
// RingReader::unchanged says that it did not.
struct RingFrame
{
    const uint8_t *pixels = nullptr;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t number = 0;
    uint64_t publishTimeNs = 0;
    uint32_t sequence = 0;
    const SlotHeader *slot = nullptr;
};

// Every value taken from the ring is checked against the block before it is used: the block may hold
// anything, written by a damaged or hostile process.
class RingReader
{
public:
    RingReader(const void *block, uint64_t size);

    // The header's state; `why` says what is wrong when it is neither Valid nor Empty.
    RingState check(std::string &why) const;
    enum class Result
    {
        Frame, // `frame` is the newest complete frame after `after`
        NoNewFrame,
        NotValid // check() tells why
    };
    Result newest(uint32_t after, RingFrame &frame) const;
    // Whether the frame's slot was left alone while the caller used its pixels.
    bool unchanged(const RingFrame &frame) const;

private:
    struct Geometry
    {
        uint32_t slotCount, slotsOffset, slotStride, slotCapacity;
    };
    RingState geometry(Geometry &geometry, std::string &why) const;

    const uint8_t *m_block;
    uint64_t m_size;
};

} // namespace vistrel::ring
