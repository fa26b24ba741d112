// A small source filter built on the framework, for the tests: pins that offer two video types, fill
// samples with a counter, and let a test script how their worker thread behaves and watch what it did.
#pragma once

#include "driver/filter/base/BaseClasses.h"

#include <atomic>
#include <memory>
#include <vector>

// What a test asks of one pin, and what the pin reports back. Shared with the test, so that it can be
// read after the filter is gone.
struct StreamProbe
{
    // Scripted behaviour.
    std::atomic<HRESULT> onThreadCreateResult{S_OK};
    std::atomic<int> samplesBeforeEnd{-1}; // -1: never end the stream
    std::atomic<HRESULT> endResult{S_FALSE};
    std::atomic<HRESULT> activeResultOverride{S_OK}; // a failure here makes Active fail before starting

    // Observations.
    std::atomic<int> threadCreates{0};
    std::atomic<int> threadDestroys{0};
    std::atomic<int> fills{0};
    std::atomic<int> runCalls{0};
    std::atomic<int> decideBufferSizeCalls{0};
    std::atomic<bool> workerExistedAtRun{false};
    std::atomic<DWORD> createThreadId{0};
    std::atomic<DWORD> fillThreadId{0};
};

class TestSourceFilter;

class TestSourcePin : public CSourceStream
{
public:
    static constexpr LONG kBufferSize = 4096;

    TestSourcePin(HRESULT *phr, TestSourceFilter *filter, LPCWSTR name, std::shared_ptr<StreamProbe> probe);

    HRESULT Active() override;
    HRESULT Run(REFERENCE_TIME tStart) override;

    // Offers RGB32 at position 0 and RGB24 at position 1, both 64 x 16 VideoInfo.
    HRESULT GetMediaType(int iPosition, CMediaType *pMediaType) override;
    // Accepts any RGB24 or RGB32 VideoInfo video type.
    HRESULT CheckMediaType(const CMediaType *pMediaType) override;
    HRESULT DecideBufferSize(IMemAllocator *pAlloc, ALLOCATOR_PROPERTIES *pRequest) override;

    const CMediaType &currentType() const { return m_mt; }

    // The subtype of the offered type at `position`; also used to build expectations in tests.
    static const GUID &offeredSubtype(int position);

protected:
    HRESULT FillBuffer(IMediaSample *pSample) override;
    HRESULT OnThreadCreate() override;
    HRESULT OnThreadDestroy() override;

private:
    std::shared_ptr<StreamProbe> m_probe;
    int m_delivered = 0; // worker thread only
};

class TestSourceFilter : public CSource
{
public:
    // {0B7C3E2A-51D4-4A8F-9C61-7E2D44A1B9F3}
    static constexpr CLSID kClsid = {
        0x0b7c3e2a, 0x51d4, 0x4a8f, {0x9c, 0x61, 0x7e, 0x2d, 0x44, 0xa1, 0xb9, 0xf3}};

    // One pin per probe, named "Out1", "Out2", ...
    TestSourceFilter(LPUNKNOWN outer, HRESULT *phr, const std::vector<std::shared_ptr<StreamProbe>> &probes);

    // The class factory's create function: a one-pin filter with a probe nobody watches.
    static CUnknown *WINAPI CreateInstance(LPUNKNOWN outer, HRESULT *phr);

    TestSourcePin *pin(int index) { return static_cast<TestSourcePin *>(GetPin(index)); }
    // Adds one more pin (the filter's pin version changes).
    TestSourcePin *addPin(std::shared_ptr<StreamProbe> probe);
    FILTER_STATE state() const { return m_State; }
};

// A new filter with one reference, `pinCount` pins and their probes.
TestSourceFilter *makeTestFilter(int pinCount, std::vector<std::shared_ptr<StreamProbe>> *probes,
                                 LPUNKNOWN outer = NULL);
