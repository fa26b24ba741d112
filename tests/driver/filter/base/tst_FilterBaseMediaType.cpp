// Media types: ownership of format blocks and pUnk references through copies, and type matching.
#include "driver/filter/base/CMediaType.h"

#include <QtTest>

#include <cstring>

Q_DECLARE_METATYPE(GUID)

namespace {
// An IUnknown that only counts, to watch the references media types take and give back.
struct CountingUnknown : IUnknown
{
    LONG refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void **ppv) override
    {
        *ppv = NULL;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

CMediaType videoType(const GUID &subtype, LONG width)
{
    CMediaType type(&MEDIATYPE_Video);
    type.SetSubtype(&subtype);
    type.SetFormatType(&FORMAT_VideoInfo);
    VIDEOINFOHEADER vih;
    std::memset(&vih, 0, sizeof(vih));
    vih.bmiHeader.biWidth = width;
    type.SetFormat(reinterpret_cast<BYTE *>(&vih), sizeof(vih));
    return type;
}
} // namespace

class TestFrameworkMediaType : public QObject
{
    Q_OBJECT

private slots:
    void copiesOwnTheirFormatBlockAndReference()
    {
        CountingUnknown unknown;
        {
            CMediaType original = videoType(MEDIASUBTYPE_RGB24, 640);
            original.pUnk = &unknown;
            unknown.AddRef(); // the reference the original holds
            CMediaType copy(original);
            QCOMPARE(unknown.refs, LONG(3));
            QVERIFY(copy == original);
            QVERIFY(copy.pbFormat != original.pbFormat);
            reinterpret_cast<VIDEOINFOHEADER *>(copy.pbFormat)->bmiHeader.biWidth = 320;
            QVERIFY(copy != original);

            copy = original; // assignment replaces the old block and reference
            QVERIFY(copy == original);
            QCOMPARE(unknown.refs, LONG(3));

            AM_MEDIA_TYPE *created = CreateMediaType(&original);
            QVERIFY(created != NULL);
            QCOMPARE(unknown.refs, LONG(4));
            QVERIFY(created->pbFormat != original.pbFormat);
            DeleteMediaType(created);
            QCOMPARE(unknown.refs, LONG(3));
        }
        QCOMPARE(unknown.refs, LONG(1));
        QVERIFY(CreateMediaType(NULL) == NULL);
        DeleteMediaType(NULL);
    }

    // A type that announces a format block but carries none is refused instead of being read through a
    // null pointer, and the target owns nothing afterwards.
    void copyRefusesAMissingFormatBlock()
    {
        CountingUnknown unknown;
        AM_MEDIA_TYPE broken;
        std::memset(&broken, 0, sizeof(broken));
        broken.majortype = MEDIATYPE_Video;
        broken.cbFormat = sizeof(VIDEOINFOHEADER);
        broken.pbFormat = NULL;
        broken.pUnk = &unknown;

        AM_MEDIA_TYPE target;
        std::memset(&target, 0xab, sizeof(target));
        QCOMPARE(CopyMediaType(&target, &broken), E_INVALIDARG);
        QVERIFY(target.pbFormat == NULL && target.cbFormat == 0 && target.pUnk == NULL);
        QCOMPARE(unknown.refs, LONG(1));

        CMediaType type;
        QCOMPARE(type.Set(broken), E_OUTOFMEMORY);
        QVERIFY(type.pbFormat == NULL && type.pUnk == NULL);
        QVERIFY(CreateMediaType(&broken) == NULL);
        QCOMPARE(unknown.refs, LONG(1));

        // A length of zero means no block, whatever the pointer says: the copy shares nothing.
        CMediaType source = videoType(MEDIASUBTYPE_RGB24, 8);
        AM_MEDIA_TYPE stray = source;
        stray.cbFormat = 0;
        stray.pUnk = NULL;
        QCOMPARE(CopyMediaType(&target, &stray), S_OK);
        QVERIFY(target.pbFormat == NULL);
    }

    void formatBuffers()
    {
        CMediaType type;
        BYTE *block = type.AllocFormatBuffer(16);
        QVERIFY(block != NULL);
        QCOMPARE(type.FormatLength(), ULONG(16));
        std::memset(block, 7, 16);
        BYTE *grown = type.ReallocFormatBuffer(32);
        QVERIFY(grown != NULL);
        QCOMPARE(type.FormatLength(), ULONG(32));
        QCOMPARE(int(grown[15]), 7);
        QVERIFY(!type.SetFormat(NULL, 8));
        QCOMPARE(type.FormatLength(), ULONG(32));
        type.ResetFormatBuffer();
        QVERIFY(type.Format() == NULL);
        QCOMPARE(type.FormatLength(), ULONG(0));

        type.SetSampleSize(0);
        QVERIFY(!type.IsFixedSize());
        QCOMPARE(type.GetSampleSize(), ULONG(0));
        type.SetSampleSize(100);
        QVERIFY(type.IsFixedSize());
        QCOMPARE(type.GetSampleSize(), ULONG(100));
        QVERIFY(!type.IsValid());
        type.SetType(&MEDIATYPE_Video);
        QVERIFY(type.IsValid());
    }

    void matchesPartial_data()
    {
        QTest::addColumn<GUID>("major");
        QTest::addColumn<GUID>("sub");
        QTest::addColumn<bool>("withFormat");
        QTest::addColumn<LONG>("width");
        QTest::addColumn<bool>("matches");
        QTest::addColumn<bool>("partial");
        QTest::newRow("everything open") << GUID_NULL << GUID_NULL << false << LONG(0) << true << true;
        QTest::newRow("major only") << MEDIATYPE_Video << GUID_NULL << false << LONG(0) << true << true;
        QTest::newRow("other major") << MEDIATYPE_Audio << GUID_NULL << false << LONG(0) << false << true;
        QTest::newRow("same subtype")
            << MEDIATYPE_Video << MEDIASUBTYPE_RGB24 << false << LONG(0) << true << true;
        QTest::newRow("other subtype")
            << MEDIATYPE_Video << MEDIASUBTYPE_RGB32 << false << LONG(0) << false << true;
        QTest::newRow("same format") << MEDIATYPE_Video << MEDIASUBTYPE_RGB24 << true << LONG(640) << true
                                     << false;
        QTest::newRow("other format")
            << MEDIATYPE_Video << MEDIASUBTYPE_RGB24 << true << LONG(320) << false << false;
    }

    void matchesPartial()
    {
        QFETCH(GUID, major);
        QFETCH(GUID, sub);
        QFETCH(bool, withFormat);
        QFETCH(LONG, width);
        QFETCH(bool, matches);
        QFETCH(bool, partial);
        const CMediaType full = videoType(MEDIASUBTYPE_RGB24, 640);
        CMediaType request = withFormat ? videoType(sub, width) : CMediaType(&major);
        request.SetType(&major);
        request.SetSubtype(&sub);
        QCOMPARE(bool(full.MatchesPartial(&request)), matches);
        QCOMPARE(bool(request.IsPartiallySpecified()), partial);
    }

    void bitmapSubtypes_data()
    {
        QTest::addColumn<int>("bitCount");
        QTest::addColumn<DWORD>("compression");
        QTest::addColumn<GUID>("expected");
        QTest::newRow("24-bit RGB") << 24 << DWORD(BI_RGB) << MEDIASUBTYPE_RGB24;
        QTest::newRow("32-bit RGB") << 32 << DWORD(BI_RGB) << MEDIASUBTYPE_RGB32;
        QTest::newRow("16-bit RGB") << 16 << DWORD(BI_RGB) << MEDIASUBTYPE_RGB555;
        QTest::newRow("odd bit count") << 7 << DWORD(BI_RGB) << GUID_NULL;
        QTest::newRow("FOURCC YUY2") << 16 << DWORD(0x32595559) << MEDIASUBTYPE_YUY2;
        QTest::newRow("FOURCC MJPG") << 24 << DWORD(0x47504a4d) << MEDIASUBTYPE_MJPG;
    }

    void bitmapSubtypes()
    {
        QFETCH(int, bitCount);
        QFETCH(DWORD, compression);
        QFETCH(GUID, expected);
        BITMAPINFOHEADER header;
        std::memset(&header, 0, sizeof(header));
        header.biBitCount = static_cast<WORD>(bitCount);
        header.biCompression = compression;
        QVERIFY(GetBitmapSubtype(&header) == expected);
    }
};

QTEST_GUILESS_MAIN(TestFrameworkMediaType)
#include "tst_FilterBaseMediaType.moc"
