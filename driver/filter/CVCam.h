// The virtual camera filter: a source filter with one output pin, CVCamStream. Queries for the pin's
// stream-configuration and property-set interfaces made on the filter are answered by the pin.
#pragma once

#include "driver/filter/base/CSource.h"

class CVCamStream;

class CVCam : public CSource
{
public:
    // The class factory's create function: a new filter with its pin, or null when out of memory.
    static CUnknown *WINAPI CreateInstance(LPUNKNOWN lpunk, HRESULT *phr);
    ~CVCam() override;

    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void **ppv) override;
    // The entry that IBaseFilter and IAMovieSetup reach.
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override;

    // The filter's one pin; null only while it is being made or if it could not be.
    CVCamStream *stream();

private:
    CVCam(LPUNKNOWN lpunk, HRESULT *phr);

    // Whether the pin rather than the filter answers a query for `riid`.
    static bool isPinInterface(REFIID riid);
    HRESULT queryPin(REFIID riid, void **ppv);
};
