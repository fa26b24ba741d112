// The frame ring is memory that any process of the user's may have written: a damaged or hostile ring
// must never make a reader crash, hang or read outside the mapping. The input is the mapping's bytes.
#include "fuzz/FuzzTarget.h"
#include "platform/ring/FrameRing.h"

#include <cstring>
#include <new>

using namespace vistrel::ring;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A mapping starts on a page; exactly `size` bytes long, so a read past it is caught.
    uint8_t *block = static_cast<uint8_t *>(::operator new(size ? size : 1, std::align_val_t(4096)));
    if (size)
        std::memcpy(block, data, size);
    RingReader reader(block, size);
    std::string why;
    const RingState state = reader.check(why);
    FUZZ_CHECK((state == RingState::Valid || state == RingState::Empty) == why.empty());

    RingFrame frame;
    uint32_t after = 0;
    for (int pass = 0; pass < 2; ++pass) {
        if (reader.newest(after, frame) != RingReader::Result::Frame)
            break;
        FUZZ_CHECK(state == RingState::Valid);
        const uint64_t bytes = uint64_t(frame.width) * frame.height * kBytesPerPixel + kPicturePadding;
        FUZZ_CHECK(frame.pixels >= block && frame.pixels + bytes <= block + size);
        // Every byte a scaler may read, read.
        unsigned sum = 0;
        for (uint64_t i = 0; i < bytes; ++i)
            sum += frame.pixels[i];
        FUZZ_CHECK(reader.unchanged(frame) || sum + 1 != 0);
        after = frame.number;
    }
    ::operator delete(block, std::align_val_t(4096));
    return 0;
}
