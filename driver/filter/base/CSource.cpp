#include "driver/filter/base/CSource.h"

#include "driver/filter/base/CSourceStream.h"

#include <cwchar>
#include <new>

CSource::CSource(LPCTSTR pName, LPUNKNOWN lpunk, CLSID clsid, HRESULT * /*phr*/)
    : CBaseFilter(pName, lpunk, &m_cStateLock, clsid), m_iPins(0), m_paStreams(NULL)
{
}

CSource::CSource(LPCTSTR pName, LPUNKNOWN lpunk, CLSID clsid)
    : CBaseFilter(pName, lpunk, &m_cStateLock, clsid), m_iPins(0), m_paStreams(NULL)
{
}

CSource::~CSource()
{
    // A filter released while streaming stops first, so that no worker thread runs on into the pins
    // deleted below.
    if (!IsStopped())
        Stop();
    // Each pin's destructor takes itself out of the array.
    while (m_iPins != 0) {
        const int before = m_iPins;
        delete m_paStreams[m_iPins - 1];
        if (m_iPins == before)
            --m_iPins; // an empty slot, not a pin of ours
    }
    delete[] m_paStreams;
}

int CSource::GetPinCount()
{
    CAutoLock lock(&m_cStateLock);
    return m_iPins;
}

CBasePin *CSource::GetPin(int n)
{
    CAutoLock lock(&m_cStateLock);
    if (n < 0 || n >= m_iPins || m_paStreams == NULL)
        return NULL;
    return m_paStreams[n];
}

HRESULT CSource::AddPin(CSourceStream *pStream)
{
    CAutoLock lock(&m_cStateLock);
    CSourceStream **paStreams = new (std::nothrow) CSourceStream *[m_iPins + 1];
    if (paStreams == NULL)
        return E_OUTOFMEMORY;
    for (int i = 0; i < m_iPins; i++)
        paStreams[i] = m_paStreams[i];
    paStreams[m_iPins] = pStream;
    // The old array may also be one that a derived filter made before its first pin added itself.
    delete[] m_paStreams;
    m_paStreams = paStreams;
    m_iPins++;
    IncrementPinVersion();
    return S_OK;
}

HRESULT CSource::RemovePin(CSourceStream *pStream)
{
    CAutoLock lock(&m_cStateLock);
    for (int i = 0; i < m_iPins; i++) {
        if (m_paStreams[i] != pStream)
            continue;
        if (m_iPins == 1) {
            delete[] m_paStreams;
            m_paStreams = NULL;
        } else {
            for (int j = i + 1; j < m_iPins; j++)
                m_paStreams[j - 1] = m_paStreams[j];
        }
        m_iPins--;
        IncrementPinVersion();
        return S_OK;
    }
    return S_FALSE;
}

STDMETHODIMP CSource::FindPin(LPCWSTR Id, IPin **ppPin)
{
    return CBaseFilter::FindPin(Id, ppPin);
}

int CSource::FindPinNumber(IPin *iPin)
{
    CAutoLock lock(&m_cStateLock);
    for (int i = 0; i < m_iPins; i++) {
        if (static_cast<IPin *>(m_paStreams[i]) == iPin)
            return i;
    }
    return -1;
}
