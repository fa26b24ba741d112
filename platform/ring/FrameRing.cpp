#include "platform/ring/FrameRing.h"

#include <cstring>

namespace vistrel::ring {

namespace {

constexpr auto relaxed = std::memory_order_relaxed;

RingHeader *headerOf(void *block)
{
    return static_cast<RingHeader *>(block);
}

const RingHeader *headerOf(const void *block)
{
    return static_cast<const RingHeader *>(block);
}

} // namespace

RingWriter::RingWriter(void *block, uint64_t size) : m_block(static_cast<uint8_t *>(block)), m_size(size) {}

SlotHeader *RingWriter::slot(uint32_t index) const
{
    return reinterpret_cast<SlotHeader *>(m_block + kSlotsOffset +
                                          uint64_t(index % kSlotCount) * kSlotStride);
}

bool RingWriter::hasOwnLayout() const
{
    std::string why;
    const RingHeader *header = headerOf(m_block);
    return RingReader(m_block, m_size).check(why) == RingState::Valid &&
           header->slotCount.load(relaxed) == kSlotCount &&
           header->slotsOffset.load(relaxed) == kSlotsOffset &&
           header->slotStride.load(relaxed) == kSlotStride &&
           header->slotCapacity.load(relaxed) == kSlotCapacity;
}

bool RingWriter::prepare(uint32_t processId)
{
    if (!m_block || m_size < kRingSize)
        return false;
    RingHeader *header = headerOf(m_block);
    if (!hasOwnLayout()) {
        // Readers see an empty ring until the magic, written last, says the layout is complete.
        header->magic.store(0, std::memory_order_release);
        header->version.store(kVersion, relaxed);
        header->headerSize.store(sizeof(RingHeader), relaxed);
        header->slotCount.store(kSlotCount, relaxed);
        header->slotHeaderSize.store(sizeof(SlotHeader), relaxed);
        header->slotsOffset.store(kSlotsOffset, relaxed);
        header->slotStride.store(kSlotStride, relaxed);
        header->slotCapacity.store(kSlotCapacity, relaxed);
        header->ringSize.store(kRingSize, relaxed);
        header->latestFrame.store(0, relaxed);
        for (uint32_t i = 0; i < kSlotCount; ++i)
            slot(i)->frameNumber.store(0, relaxed);
        header->magic.store(kMagic, std::memory_order_release);
    } else {
        // A new session's instances start from its own frames, not from a picture of an earlier one; the
        // numbers go on, so a reader never takes a new frame for one it has had.
        for (uint32_t i = 0; i < kSlotCount; ++i) {
            SlotHeader *old = slot(i);
            uint32_t sequence = old->sequence.load(relaxed);
            sequence += sequence % 2 == 0 ? 1 : 2;
            old->sequence.exchange(sequence, std::memory_order_acq_rel);
            old->frameNumber.store(0, relaxed);
            old->sequence.store(sequence + 1, std::memory_order_release);
        }
    }
    header->holderProcessId.store(processId, std::memory_order_release);
    return true;
}

uint8_t *RingWriter::begin(uint32_t width, uint32_t height)
{
    abandon();
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide ||
        uint64_t(width) * height * kBytesPerPixel > kMaxPictureBytes)
        return nullptr;
    RingHeader *header = headerOf(m_block);
    uint32_t number = header->latestFrame.load(relaxed) + 1;
    if (number == 0) // 0 names no frame
        number = 1;
    SlotHeader *target = slot(number);
    uint32_t sequence = target->sequence.load(relaxed);
    // A writer that died mid-write left the number odd: the slot is being written again anyway.
    if (sequence % 2 == 0)
        ++sequence;
    // Acquiring: none of the new picture's bytes is written before readers can see the odd number.
    target->sequence.exchange(sequence, std::memory_order_acq_rel);
    target->frameNumber.store(number, relaxed);
    target->width.store(width, relaxed);
    target->height.store(height, relaxed);
    target->stride.store(width * kBytesPerPixel, relaxed);
    target->byteCount.store(width * height * kBytesPerPixel, relaxed);
    m_writing = target;
    m_writingNumber = number;
    return reinterpret_cast<uint8_t *>(target) + sizeof(SlotHeader);
}

void RingWriter::commit(uint64_t publishTimeNs)
{
    if (!m_writing)
        return;
    m_writing->publishTimeLow.store(uint32_t(publishTimeNs), relaxed);
    m_writing->publishTimeHigh.store(uint32_t(publishTimeNs >> 32), relaxed);
    m_writing->sequence.store(m_writing->sequence.load(relaxed) + 1, std::memory_order_release);
    headerOf(m_block)->latestFrame.store(m_writingNumber, std::memory_order_release);
    m_writing = nullptr;
}

void RingWriter::abandon()
{
    if (!m_writing)
        return;
    // Even again, but naming no frame a reader will ask for.
    m_writing->frameNumber.store(0, relaxed);
    m_writing->sequence.store(m_writing->sequence.load(relaxed) + 1, std::memory_order_release);
    m_writing = nullptr;
}

void RingWriter::leave()
{
    abandon();
    if (m_block && m_size >= kRingSize)
        headerOf(m_block)->holderProcessId.store(0, std::memory_order_release);
}

RingReader::RingReader(const void *block, uint64_t size)
    : m_block(static_cast<const uint8_t *>(block)), m_size(size)
{
}

RingState RingReader::check(std::string &why) const
{
    Geometry ignored{};
    return geometry(ignored, why);
}

RingState RingReader::geometry(Geometry &g, std::string &why) const
{
    if (!m_block || m_size < sizeof(RingHeader) ||
        reinterpret_cast<uintptr_t>(m_block) % alignof(RingHeader)) {
        why = "the ring is smaller than its header";
        return RingState::Damaged;
    }
    const RingHeader *header = headerOf(m_block);
    const uint32_t magic = header->magic.load(std::memory_order_acquire);
    if (magic == 0)
        return RingState::Empty;
    if (magic != kMagic) {
        why = "not a frame ring (magic " + std::to_string(magic) + ")";
        return RingState::Damaged;
    }
    const uint32_t version = header->version.load(relaxed);
    if (version != kVersion) {
        why = "layout version " + std::to_string(version) + ", this driver reads " + std::to_string(kVersion);
        return RingState::OtherVersion;
    }
    // Each value is read once and only the copy is used, so a writer changing it later cannot get a
    // checked value replaced by an unchecked one.
    const uint32_t headerSize = header->headerSize.load(relaxed);
    const uint32_t slotHeaderSize = header->slotHeaderSize.load(relaxed);
    g.slotCount = header->slotCount.load(relaxed);
    g.slotsOffset = header->slotsOffset.load(relaxed);
    g.slotStride = header->slotStride.load(relaxed);
    g.slotCapacity = header->slotCapacity.load(relaxed);
    const uint64_t ringSize = header->ringSize.load(relaxed);
    const uint64_t slotsEnd = uint64_t(g.slotsOffset) + uint64_t(g.slotCount) * g.slotStride;
    if (headerSize != sizeof(RingHeader) || slotHeaderSize != sizeof(SlotHeader)) {
        why = "header sizes " + std::to_string(headerSize) + "/" + std::to_string(slotHeaderSize) +
              " do not match the layout version";
        return RingState::Damaged;
    }
    if (g.slotCount == 0 || g.slotCount > 64 || g.slotsOffset < headerSize ||
        g.slotsOffset % alignof(SlotHeader) != 0 || g.slotStride % alignof(SlotHeader) != 0 ||
        uint64_t(g.slotStride) < sizeof(SlotHeader) + uint64_t(g.slotCapacity) ||
        g.slotCapacity <= kPicturePadding || slotsEnd > ringSize || ringSize > m_size) {
        why = "slots outside the ring (" + std::to_string(g.slotCount) + " of " +
              std::to_string(g.slotStride) + " bytes at " + std::to_string(g.slotsOffset) + ", ring " +
              std::to_string(ringSize) + " of " + std::to_string(m_size) + " bytes)";
        return RingState::Damaged;
    }
    return RingState::Valid;
}

RingReader::Result RingReader::newest(uint32_t after, RingFrame &frame) const
{
    Geometry g{};
    std::string why;
    if (geometry(g, why) != RingState::Valid)
        return Result::NotValid;
    const uint32_t number = headerOf(m_block)->latestFrame.load(std::memory_order_acquire);
    if (number == 0 || number == after)
        return Result::NoNewFrame;
    const auto *slot = reinterpret_cast<const SlotHeader *>(m_block + g.slotsOffset +
                                                            uint64_t(number % g.slotCount) * g.slotStride);
    const uint32_t sequence = slot->sequence.load(std::memory_order_acquire);
    // Being written, or already holding a newer frame: the next look finds a complete one.
    if (sequence % 2 != 0 || slot->frameNumber.load(relaxed) != number)
        return Result::NoNewFrame;
    const uint32_t width = slot->width.load(relaxed);
    const uint32_t height = slot->height.load(relaxed);
    const uint32_t stride = slot->stride.load(relaxed);
    const uint32_t byteCount = slot->byteCount.load(relaxed);
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide ||
        uint64_t(stride) != uint64_t(width) * kBytesPerPixel ||
        uint64_t(byteCount) != uint64_t(stride) * height ||
        uint64_t(byteCount) + kPicturePadding > g.slotCapacity)
        return Result::NoNewFrame;
    frame.pixels = reinterpret_cast<const uint8_t *>(slot) + sizeof(SlotHeader);
    frame.width = width;
    frame.height = height;
    frame.number = number;
    frame.publishTimeNs =
        uint64_t(slot->publishTimeHigh.load(relaxed)) << 32 | slot->publishTimeLow.load(relaxed);
    frame.sequence = sequence;
    frame.slot = slot;
    return Result::Frame;
}

bool RingReader::unchanged(const RingFrame &frame) const
{
    if (!frame.slot)
        return false;
    // Releasing: the picture's reads are done before this second look at the number. (A read-modify-write
    // of nothing rather than a fence, which the thread sanitizer cannot follow.)
    auto &sequence = const_cast<SlotHeader *>(frame.slot)->sequence;
    return sequence.fetch_add(0, std::memory_order_acq_rel) == frame.sequence;
}

} // namespace vistrel::ring
