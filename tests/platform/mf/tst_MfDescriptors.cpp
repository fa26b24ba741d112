// Media types compared, a stream's media type handler choosing a type, presentation descriptors selecting
// streams and cloning, and a sample's buffers.
#include "MfTestSupport.h"

#include <QtTest>

#include <cstring>

class MfDescriptorsTest : public QObject
{
    Q_OBJECT

private:
    // A stream offering RGB32 at 640x480 and NV12 at 1280x720, both at 30 frames a second.
    static ComPtr<IMFStreamDescriptor> makeStream(DWORD id)
    {
        auto rgb = makeVideoType(MFVideoFormat_RGB32, 640, 480, 30);
        auto nv12 = makeVideoType(MFVideoFormat_NV12, 1280, 720, 30);
        IMFMediaType *types[] = {rgb.Get(), nv12.Get()};
        ComPtr<IMFStreamDescriptor> stream;
        MFCreateStreamDescriptor(id, 2, types, stream.ReleaseAndGetAddressOf());
        return stream;
    }

    static ComPtr<IMFMediaTypeHandler> handlerOf(IMFStreamDescriptor *stream)
    {
        ComPtr<IMFMediaTypeHandler> handler;
        stream->GetMediaTypeHandler(handler.ReleaseAndGetAddressOf());
        return handler;
    }

private slots:
    void cleanup() { QCOMPARE(VistrelMfLiveObjects(), 0); }

    void isEqualNamesWhatMatches()
    {
        auto a = makeVideoType(MFVideoFormat_NV12, 1280, 720, 30);
        auto same = makeVideoType(MFVideoFormat_NV12, 1280, 720, 30);
        auto otherSize = makeVideoType(MFVideoFormat_NV12, 640, 480, 30);
        auto otherSubtype = makeVideoType(MFVideoFormat_RGB32, 1280, 720, 30);
        auto partial = makeVideoType(MFVideoFormat_NV12, 0, 0, 0);
        const DWORD all = MF_MEDIATYPE_EQUAL_MAJOR_TYPES | MF_MEDIATYPE_EQUAL_FORMAT_TYPES |
                          MF_MEDIATYPE_EQUAL_FORMAT_DATA | MF_MEDIATYPE_EQUAL_FORMAT_USER_DATA;
        DWORD flags = 0;
        QCOMPARE(a->IsEqual(same.Get(), &flags), S_OK);
        QCOMPARE(flags, all);
        QCOMPARE(a->IsEqual(otherSize.Get(), &flags), S_FALSE);
        QCOMPARE(flags, all & ~DWORD(MF_MEDIATYPE_EQUAL_FORMAT_DATA));
        QCOMPARE(a->IsEqual(otherSubtype.Get(), &flags), S_FALSE);
        QCOMPARE(flags, all & ~DWORD(MF_MEDIATYPE_EQUAL_FORMAT_TYPES | MF_MEDIATYPE_EQUAL_FORMAT_DATA));
        // One type's attributes being a subset of the other's counts as equal format data.
        QCOMPARE(a->IsEqual(partial.Get(), &flags), S_OK);
        GUID major = GUID_NULL;
        QCOMPARE(a->GetMajorType(&major), S_OK);
        QVERIFY(IsEqualGUID(major, MFMediaType_Video));
    }

    void handlerChoosesAmongTheStreamsTypes()
    {
        auto stream = makeStream(3);
        DWORD id = 0;
        QCOMPARE(stream->GetStreamIdentifier(&id), S_OK);
        QCOMPARE(id, DWORD(3));
        auto handler = handlerOf(stream.Get());

        DWORD count = 0;
        QCOMPARE(handler->GetMediaTypeCount(&count), S_OK);
        QCOMPARE(count, DWORD(2));
        ComPtr<IMFMediaType> type;
        QCOMPARE(handler->GetMediaTypeByIndex(2, type.ReleaseAndGetAddressOf()), MF_E_NO_MORE_TYPES);
        QCOMPARE(handler->GetCurrentMediaType(type.ReleaseAndGetAddressOf()), MF_E_NOT_INITIALIZED);
        GUID major = GUID_NULL;
        QCOMPARE(handler->GetMajorType(&major), S_OK);
        QVERIFY(IsEqualGUID(major, MFMediaType_Video));

        // Windows' handler looks at the major type and subtype only; size and rate are the source's to judge.
        auto exact = makeVideoType(MFVideoFormat_NV12, 1280, 720, 30);
        auto onlySubtype = makeVideoType(MFVideoFormat_RGB32, 0, 0, 0);
        auto otherSize = makeVideoType(MFVideoFormat_NV12, 640, 480, 15);
        auto otherSubtype = makeVideoType(MFVideoFormat_YUY2, 640, 480, 30);
        auto audio = makeVideoType(MFVideoFormat_RGB32, 640, 480, 30);
        QCOMPARE(audio->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio), S_OK);
        ComPtr<IMFMediaType> closest;
        QCOMPARE(handler->IsMediaTypeSupported(exact.Get(), closest.ReleaseAndGetAddressOf()), S_OK);
        QVERIFY(!closest);
        QCOMPARE(handler->IsMediaTypeSupported(onlySubtype.Get(), nullptr), S_OK);
        QCOMPARE(handler->IsMediaTypeSupported(otherSize.Get(), nullptr), S_OK);
        QCOMPARE(handler->IsMediaTypeSupported(otherSubtype.Get(), nullptr), MF_E_INVALIDMEDIATYPE);
        QCOMPARE(handler->IsMediaTypeSupported(audio.Get(), nullptr), MF_E_INVALIDMEDIATYPE);
        QCOMPARE(handler->IsMediaTypeSupported(nullptr, nullptr), E_POINTER);

        // The current type counts too, even when the list lacks it.
        QCOMPARE(handler->SetCurrentMediaType(otherSubtype.Get()), S_OK);
        QCOMPARE(handler->IsMediaTypeSupported(otherSubtype.Get(), nullptr), S_OK);

        QCOMPARE(handler->GetMediaTypeByIndex(1, type.ReleaseAndGetAddressOf()), S_OK);
        QCOMPARE(handler->SetCurrentMediaType(type.Get()), S_OK);
        ComPtr<IMFMediaType> current;
        QCOMPARE(handler->GetCurrentMediaType(current.ReleaseAndGetAddressOf()), S_OK);
        QCOMPARE(current.Get(), type.Get());
        // The handler is the descriptor's one handler, so the choice is seen through the descriptor too.
        QCOMPARE(handlerOf(stream.Get()).Get(), handler.Get());
    }

    void presentationSelectsAndClones()
    {
        auto first = makeStream(0);
        auto second = makeStream(1);
        IMFStreamDescriptor *streams[] = {first.Get(), second.Get()};
        ComPtr<IMFPresentationDescriptor> presentation;
        QCOMPARE(MFCreatePresentationDescriptor(2, streams, presentation.ReleaseAndGetAddressOf()), S_OK);
        QCOMPARE(presentation->SetUINT64(MF_MT_FRAME_SIZE, 42), S_OK);

        BOOL selected = TRUE;
        ComPtr<IMFStreamDescriptor> stream;
        QCOMPARE(presentation->GetStreamDescriptorByIndex(0, &selected, stream.ReleaseAndGetAddressOf()),
                 S_OK);
        QVERIFY(!selected);
        QCOMPARE(stream.Get(), first.Get());
        QCOMPARE(presentation->GetStreamDescriptorByIndex(2, &selected, stream.ReleaseAndGetAddressOf()),
                 E_INVALIDARG);
        QVERIFY(!stream);
        QCOMPARE(presentation->SelectStream(2), E_INVALIDARG);
        QCOMPARE(presentation->SelectStream(1), S_OK);

        ComPtr<IMFPresentationDescriptor> clone;
        QCOMPARE(presentation->Clone(clone.ReleaseAndGetAddressOf()), S_OK);
        QCOMPARE(clone->GetStreamDescriptorByIndex(1, &selected, stream.ReleaseAndGetAddressOf()), S_OK);
        QVERIFY(selected);
        QCOMPARE(stream.Get(), second.Get()); // shared, not copied
        UINT64 value = 0;
        QCOMPARE(clone->GetUINT64(MF_MT_FRAME_SIZE, &value), S_OK);
        QCOMPARE(value, UINT64(42));

        // Selection is the clone's own from here on.
        QCOMPARE(clone->DeselectStream(1), S_OK);
        QCOMPARE(presentation->GetStreamDescriptorByIndex(1, &selected, stream.ReleaseAndGetAddressOf()),
                 S_OK);
        QVERIFY(selected);
        QCOMPARE(clone->GetStreamDescriptorByIndex(1, &selected, stream.ReleaseAndGetAddressOf()), S_OK);
        QVERIFY(!selected);
    }

    void sampleTimesAndBuffers()
    {
        ComPtr<IMFSample> sample;
        QCOMPARE(MFCreateSample(sample.ReleaseAndGetAddressOf()), S_OK);
        LONGLONG time = 0;
        QCOMPARE(sample->GetSampleTime(&time), MF_E_NO_SAMPLE_TIMESTAMP);
        QCOMPARE(sample->GetSampleDuration(&time), MF_E_NO_SAMPLE_DURATION);
        QCOMPARE(sample->SetSampleTime(333333), S_OK);
        QCOMPARE(sample->GetSampleTime(&time), S_OK);
        QCOMPARE(time, LONGLONG(333333));

        ComPtr<IMFMediaBuffer> a, b;
        QCOMPARE(MFCreateMemoryBuffer(4, a.ReleaseAndGetAddressOf()), S_OK);
        QCOMPARE(MFCreateMemoryBuffer(4, b.ReleaseAndGetAddressOf()), S_OK);
        QCOMPARE(a->SetCurrentLength(5), E_INVALIDARG);
        BYTE *data = nullptr;
        DWORD max = 0, length = 99;
        QCOMPARE(a->Lock(&data, &max, &length), S_OK);
        QCOMPARE(max, DWORD(4));
        QCOMPARE(length, DWORD(0));
        std::memcpy(data, "abcd", 4);
        QCOMPARE(a->Unlock(), S_OK);
        QCOMPARE(a->SetCurrentLength(4), S_OK);
        QCOMPARE(b->Lock(&data, nullptr, nullptr), S_OK);
        std::memcpy(data, "ef", 2);
        QCOMPARE(b->Unlock(), S_OK);
        QCOMPARE(b->SetCurrentLength(2), S_OK);
        QCOMPARE(sample->AddBuffer(a.Get()), S_OK);
        QCOMPARE(sample->AddBuffer(b.Get()), S_OK);
        DWORD total = 0;
        QCOMPARE(sample->GetTotalLength(&total), S_OK);
        QCOMPARE(total, DWORD(6));

        ComPtr<IMFMediaBuffer> small;
        QCOMPARE(MFCreateMemoryBuffer(5, small.ReleaseAndGetAddressOf()), S_OK);
        QCOMPARE(sample->CopyToBuffer(small.Get()), MF_E_BUFFERTOOSMALL);
        ComPtr<IMFMediaBuffer> joined;
        QCOMPARE(sample->ConvertToContiguousBuffer(joined.ReleaseAndGetAddressOf()), S_OK);
        QCOMPARE(joined->Lock(&data, nullptr, &length), S_OK);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(data), int(length)), QByteArray("abcdef"));
        QCOMPARE(joined->Unlock(), S_OK);
        DWORD buffers = 0;
        QCOMPARE(sample->GetBufferCount(&buffers), S_OK);
        QCOMPARE(buffers, DWORD(1));
        QCOMPARE(referenceCount(a.Get()), ULONG(1));
    }
};

QTEST_GUILESS_MAIN(MfDescriptorsTest)
#include "tst_MfDescriptors.moc"
