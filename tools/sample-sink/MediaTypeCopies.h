// Copying and freeing AM_MEDIA_TYPE blocks with the COM task allocator, as DirectShow's own components do
// (the SDK leaves these helpers to the base classes, which applications do not have).
#pragma once

#include "platform/dshow/dshow.h"

namespace vistrel::sink {

// Deep copy (format block and pUnk reference); on failure `target` is left empty and E_OUTOFMEMORY returned.
HRESULT copyMediaType(AM_MEDIA_TYPE &target, const AM_MEDIA_TYPE &source);
// Frees the format block and releases pUnk; the structure itself stays.
void freeMediaTypeContents(AM_MEDIA_TYPE &type);
// A new task-allocated copy, or null when memory runs out.
AM_MEDIA_TYPE *newMediaTypeCopy(const AM_MEDIA_TYPE &source);
// Frees a block from newMediaTypeCopy (or any task-allocated AM_MEDIA_TYPE, such as IAMStreamConfig's).
void deleteMediaTypeBlock(AM_MEDIA_TYPE *type);

} // namespace vistrel::sink
