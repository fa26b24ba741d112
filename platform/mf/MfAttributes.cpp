// A bare attribute store (MFCreateAttributes).
#include "platform/mf/MfAttributesImpl.h"

namespace vistrel::mf {
namespace {

class Attributes final : public AttributesImpl<IMFAttributes>
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override
    {
        return answer(this, riid, ppv, {&IID_IMFAttributes});
    }
};

} // namespace
} // namespace vistrel::mf

HRESULT MFCreateAttributes(IMFAttributes **ppMFAttributes, UINT32)
{
    if (ppMFAttributes == nullptr)
        return E_POINTER;
    *ppMFAttributes = new vistrel::mf::Attributes();
    return S_OK;
}
