// Converting the capture thread's frames (rows of blue-green-red bytes, bottom-up, width * 3 bytes each)
// into the layouts the media source offers: 32-bit RGB top-down and NV12.
#pragma once

#include <cstddef>
#include <cstdint>

namespace FrameFormats {

// Bytes of one frame in each layout; 0 for a size the layout cannot hold (NV12 needs even sides).
size_t rgb32Size(int width, int height);
size_t nv12Size(int width, int height);
// Bytes from one row to the next: positive, since both layouts are written top-down.
int rgb32Stride(int width);
int nv12Stride(int width);

// Writes blue, green, red, 0xFF per pixel, the top row first, into rgb32Size(width, height) bytes.
void bgrBottomUpToRgb32(const uint8_t *frame, int width, int height, uint8_t *dst);

// Writes the luma plane (width bytes per row) followed by the interleaved Cb/Cr plane at half height,
// top row first, into nv12Size(width, height) bytes: BT.601 with limited range (luma 16-235, chroma
// 16-240), each chroma pair the average of a 2 x 2 block, as capture devices deliver it.
void bgrBottomUpToNv12(const uint8_t *frame, int width, int height, uint8_t *dst);

} // namespace FrameFormats
