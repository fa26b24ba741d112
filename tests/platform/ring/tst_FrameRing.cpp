// The frame ring in a block of memory: what a holder publishes reaches a reader whole or not at all, and a
// reader takes nothing from a damaged ring that lies outside the block.
#include "platform/ring/FrameRing.h"

#include <QtTest>

#include <cstring>
#include <memory>
#include <new>

using namespace vistrel::ring;

namespace {

// A page-aligned block of exactly `size` bytes, so that the address sanitizer sees any read past it.
struct Block
{
    explicit Block(uint64_t bytes)
        : size(bytes), data(static_cast<uint8_t *>(::operator new(bytes, std::align_val_t(4096))))
    {
        std::memset(data, 0, bytes);
    }
    ~Block() { ::operator delete(data, std::align_val_t(4096)); }
    RingHeader &header() { return *reinterpret_cast<RingHeader *>(data); }
    uint64_t size;
    uint8_t *data;
};

void publish(RingWriter &writer, uint32_t width, uint32_t height, uint8_t value)
{
    uint8_t *pixels = writer.begin(width, height);
    QVERIFY(pixels);
    std::memset(pixels, value, size_t(width) * height * kBytesPerPixel);
    writer.commit(1234);
}

} // namespace

class TestFrameRing : public QObject
{
    Q_OBJECT

private slots:
    void layoutIsTheOneEveryBuildShares()
    {
        Block block(kRingSize);
        RingWriter writer(block.data, block.size);
        QVERIFY(writer.prepare(42));
        const uint32_t *words = reinterpret_cast<const uint32_t *>(block.data);
        QCOMPARE(words[0], kMagic);
        QCOMPARE(words[1], 1u); // version
        QCOMPARE(words[2], 128u);
        QCOMPARE(words[3], 3u);
        QCOMPARE(words[4], 64u);
        QCOMPARE(words[5], 4096u);
        QCOMPARE(words[10], 42u); // holder
        // Three pictures of the largest live view, plus the header: the ring's whole memory.
        QVERIFY(kRingSize < 4096 + 3 * (1920 * 1280 * 3 + 2 * 4096));
        std::string why;
        QCOMPARE(RingReader(block.data, block.size).check(why), RingState::Valid);
    }

    void publishedFrameReachesReaderOnce()
    {
        Block block(kRingSize);
        RingWriter writer(block.data, block.size);
        QVERIFY(writer.prepare(1));
        RingReader reader(block.data, block.size);
        RingFrame frame;
        QCOMPARE(reader.newest(0, frame), RingReader::Result::NoNewFrame);

        publish(writer, 5, 3, 0x7f);
        QCOMPARE(reader.newest(0, frame), RingReader::Result::Frame);
        QCOMPARE(frame.width, 5u);
        QCOMPARE(frame.height, 3u);
        QCOMPARE(frame.publishTimeNs, uint64_t(1234));
        QCOMPARE(int(frame.pixels[5 * 3 * 3 - 1]), 0x7f);
        QVERIFY(reader.unchanged(frame));
        QCOMPARE(reader.newest(frame.number, frame), RingReader::Result::NoNewFrame);
    }

    void frameBeingWrittenOrOverwrittenNeverReachesReader()
    {
        Block block(kRingSize);
        RingWriter writer(block.data, block.size);
        QVERIFY(writer.prepare(1));
        RingReader reader(block.data, block.size);
        RingFrame frame;

        QVERIFY(writer.begin(4, 4));
        QCOMPARE(reader.newest(0, frame), RingReader::Result::NoNewFrame); // nothing complete yet
        writer.commit(0);
        QCOMPARE(reader.newest(0, frame), RingReader::Result::Frame);

        // While the reader uses frame 1, the writer comes round to its slot again.
        publish(writer, 4, 4, 2);
        publish(writer, 4, 4, 3);
        QVERIFY(reader.unchanged(frame));
        QVERIFY(writer.begin(4, 4));
        QVERIFY(!reader.unchanged(frame));
        writer.commit(0);
        QVERIFY(!reader.unchanged(frame));
    }

    void writerThatDiedMidWriteLeavesNoTornFrame()
    {
        Block block(kRingSize);
        {
            RingWriter dying(block.data, block.size);
            QVERIFY(dying.prepare(1));
            publish(dying, 2, 2, 1);
            QVERIFY(dying.begin(2, 2)); // never committed
        }
        RingReader reader(block.data, block.size);
        RingFrame frame;
        QCOMPARE(reader.newest(0, frame), RingReader::Result::Frame);
        QCOMPARE(frame.number, 1u);

        RingWriter next(block.data, block.size);
        QVERIFY(next.prepare(2));
        QCOMPARE(block.header().holderProcessId.load(), 2u);
        // The new holder's readers start from its own frames, numbered on from the last.
        QCOMPARE(reader.newest(0, frame), RingReader::Result::NoNewFrame);
        publish(next, 2, 2, 9);
        QCOMPARE(reader.newest(1, frame), RingReader::Result::Frame);
        QCOMPARE(frame.number, 2u);
        QCOMPARE(int(frame.pixels[0]), 9);
        QVERIFY(reader.unchanged(frame));
    }

    void pictureLargerThanASlotIsNotShared()
    {
        Block block(kRingSize);
        RingWriter writer(block.data, block.size);
        QVERIFY(writer.prepare(1));
        QVERIFY(!writer.begin(1920, 1281));
        QVERIFY(!writer.begin(0, 10));
        QVERIFY(writer.begin(1920, 1280));
    }

    void damagedRingIsRefused_data()
    {
        QTest::addColumn<int>("word");
        QTest::addColumn<uint32_t>("value");
        QTest::addColumn<int>("state");
        QTest::newRow("not laid out") << 0 << 0u << int(RingState::Empty);
        QTest::newRow("magic") << 0 << 0x12345678u << int(RingState::Damaged);
        QTest::newRow("other version") << 1 << 2u << int(RingState::OtherVersion);
        QTest::newRow("header size") << 2 << 4096u << int(RingState::Damaged);
        QTest::newRow("no slots") << 3 << 0u << int(RingState::Damaged);
        QTest::newRow("many slots") << 3 << 1000u << int(RingState::Damaged);
        QTest::newRow("slot header size") << 4 << 8u << int(RingState::Damaged);
        QTest::newRow("slots inside header") << 5 << 64u << int(RingState::Damaged);
        QTest::newRow("slots past the end") << 5 << 0xfffff000u << int(RingState::Damaged);
        QTest::newRow("stride shorter than slot") << 6 << 4096u << int(RingState::Damaged);
        QTest::newRow("stride overflowing") << 6 << 0xffffffc0u << int(RingState::Damaged);
        QTest::newRow("capacity beyond stride") << 7 << 0xffffffffu << int(RingState::Damaged);
        QTest::newRow("ring beyond the mapping") << 8 << 0xffffffffu << int(RingState::Damaged);
    }
    void damagedRingIsRefused()
    {
        QFETCH(int, word);
        QFETCH(uint32_t, value);
        QFETCH(int, state);
        Block block(kRingSize);
        RingWriter writer(block.data, block.size);
        QVERIFY(writer.prepare(1));
        publish(writer, 8, 8, 1);
        reinterpret_cast<uint32_t *>(block.data)[word] = value;

        std::string why;
        RingReader reader(block.data, block.size);
        QCOMPARE(int(reader.check(why)), state);
        QCOMPARE(why.empty(), state == int(RingState::Empty));
        RingFrame frame;
        QCOMPARE(reader.newest(0, frame), RingReader::Result::NotValid);
    }

    void damagedSlotIsSkipped_data()
    {
        QTest::addColumn<int>("word");
        QTest::addColumn<uint32_t>("value");
        QTest::newRow("width") << 2 << 100000u;
        QTest::newRow("height") << 3 << 0u;
        QTest::newRow("stride") << 4 << 7u;
        QTest::newRow("byte count") << 5 << 0xffffffffu;
        QTest::newRow("frame number") << 1 << 77u;
        QTest::newRow("odd sequence") << 0 << 3u;
    }
    void damagedSlotIsSkipped()
    {
        QFETCH(int, word);
        QFETCH(uint32_t, value);
        Block block(kRingSize);
        RingWriter writer(block.data, block.size);
        QVERIFY(writer.prepare(1));
        publish(writer, 8, 8, 1);
        reinterpret_cast<uint32_t *>(block.data + kSlotsOffset + kSlotStride)[word] = value; // frame 1's slot
        RingFrame frame;
        QCOMPARE(RingReader(block.data, block.size).newest(0, frame), RingReader::Result::NoNewFrame);
    }

    void blockSmallerThanItsRingIsRefused()
    {
        Block full(kRingSize);
        QVERIFY(RingWriter(full.data, full.size).prepare(1));
        Block small(8192);
        std::memcpy(small.data, full.data, small.size);
        std::string why;
        QCOMPARE(RingReader(small.data, small.size).check(why), RingState::Damaged);
        QVERIFY(!RingWriter(small.data, small.size).prepare(1));
        QCOMPARE(RingReader(small.data, 16).check(why), RingState::Damaged);
    }
};

QTEST_GUILESS_MAIN(TestFrameRing)
#include "tst_FrameRing.moc"
