#pragma once

#include <cstdint>
#include <vector>

namespace edsim {

// The picture a simulated camera shows when it replays no files: colour bands that drift with the frame
// number, a white block crossing the picture, and the frame number in the top-left corner. Encoded as a
// baseline JPEG. Returns false (out empty) when encoding fails.
bool encodeTestPicture(int width, int height, int64_t frameNumber, std::vector<uint8_t> &out);

} // namespace edsim
