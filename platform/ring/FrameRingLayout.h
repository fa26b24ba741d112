// The shared frame ring's memory: the instance holding a camera's session publishes each decoded live-view
// picture here and every other instance of the driver reads it, in any process of either bitness. Only
// 32-bit fields at fixed offsets, so 32- and 64-bit builds see the same bytes; every field is atomic because
// another process (or thread) may write it while it is read.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace vistrel::ring {

constexpr uint32_t kMagic = 0x52465356; // "VSFR"
constexpr uint32_t kVersion = 1;
constexpr uint32_t kSlotCount = 3;
// Pictures are 3 bytes a pixel, blue-green-red, rows top-down and exactly width * 3 bytes: the decoder's
// output before each instance scales it to its own size.
constexpr uint32_t kBytesPerPixel = 3;
// The scaler reads up to this many bytes past a picture's end.
constexpr uint32_t kPicturePadding = 64;
// The largest live view the cameras give is 1920 x 1280; a larger picture is not shared.
constexpr uint32_t kMaxPictureBytes = 1920u * 1280u * kBytesPerPixel;
constexpr uint32_t kMaxSide = 8192;

using Field = std::atomic<uint32_t>;
static_assert(sizeof(Field) == 4 && Field::is_always_lock_free, "ring fields are plain 32-bit words");

struct RingHeader
{
    Field magic;           // kMagic once the rest is written; 0 while the holder lays the ring out
    Field version;         // kVersion
    Field headerSize;      // sizeof(RingHeader)
    Field slotCount;       // kSlotCount
    Field slotHeaderSize;  // sizeof(SlotHeader)
    Field slotsOffset;     // from the start of the ring to slot 0
    Field slotStride;      // from one slot to the next
    Field slotCapacity;    // picture bytes a slot holds, padding included
    Field ringSize;        // bytes from the start of the ring to the end of the last slot
    Field latestFrame;     // number of the newest complete frame, in slot latestFrame % slotCount; 0: none
    Field holderProcessId; // process of the instance holding the session, while it does
    Field reserved[21];
};

struct SlotHeader
{
    Field sequence; // odd while the picture is written; changes with every write
    Field frameNumber;
    Field width;
    Field height;
    Field stride;         // bytes from one row to the next: width * 3
    Field byteCount;      // stride * height
    Field publishTimeLow; // the machine's steady clock, nanoseconds, when the frame was published
    Field publishTimeHigh;
    Field reserved[8];
};

static_assert(sizeof(RingHeader) == 128 && offsetof(RingHeader, latestFrame) == 36, "layout is fixed");
static_assert(sizeof(SlotHeader) == 64 && offsetof(SlotHeader, publishTimeHigh) == 28, "layout is fixed");

// The layout a holder writes: slots page-aligned after the header, each a header and then its picture.
constexpr uint32_t kPage = 4096;
constexpr uint32_t kSlotsOffset = kPage;
constexpr uint32_t kSlotCapacity = kMaxPictureBytes + kPicturePadding;
constexpr uint32_t kSlotStride = (uint32_t(sizeof(SlotHeader)) + kSlotCapacity + kPage - 1) / kPage * kPage;
constexpr uint32_t kRingSize = kSlotsOffset + kSlotCount * kSlotStride;

} // namespace vistrel::ring
