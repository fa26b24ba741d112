#include "tools/sample-sink/MediaTypeCopies.h"

#include <cstring>

namespace vistrel::sink {

HRESULT copyMediaType(AM_MEDIA_TYPE &target, const AM_MEDIA_TYPE &source)
{
    target = source;
    target.pbFormat = nullptr;
    if (source.cbFormat != 0 && source.pbFormat) {
        target.pbFormat = static_cast<BYTE *>(CoTaskMemAlloc(source.cbFormat));
        if (!target.pbFormat) {
            target.cbFormat = 0;
            target.pUnk = nullptr;
            return E_OUTOFMEMORY;
        }
        std::memcpy(target.pbFormat, source.pbFormat, source.cbFormat);
    } else {
        target.cbFormat = 0;
    }
    if (target.pUnk)
        target.pUnk->AddRef();
    return S_OK;
}

void freeMediaTypeContents(AM_MEDIA_TYPE &type)
{
    if (type.pbFormat)
        CoTaskMemFree(type.pbFormat);
    type.pbFormat = nullptr;
    type.cbFormat = 0;
    if (type.pUnk)
        type.pUnk->Release();
    type.pUnk = nullptr;
}

AM_MEDIA_TYPE *newMediaTypeCopy(const AM_MEDIA_TYPE &source)
{
    auto *copy = static_cast<AM_MEDIA_TYPE *>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!copy)
        return nullptr;
    if (FAILED(copyMediaType(*copy, source))) {
        CoTaskMemFree(copy);
        return nullptr;
    }
    return copy;
}

void deleteMediaTypeBlock(AM_MEDIA_TYPE *type)
{
    if (!type)
        return;
    freeMediaTypeContents(*type);
    CoTaskMemFree(type);
}

} // namespace vistrel::sink
