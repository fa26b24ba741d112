// Camera pictures that carry their own number, for telling which camera frame a sample holds.
#pragma once

#include <string>

namespace CodedFrames {

// Frame numbers repeat after this many pictures.
constexpr int kCount = 64;

// Writes kCount baseline JPEGs of width x height into folder (created if missing), named in replay order.
// Each shows camera-like content with a row of blocks across the top that spells its index. False with a
// reason in *error when a file cannot be written.
bool write(const std::string &folder, int width, int height, std::string *error);

// The index spelled by a 24-bit bottom-up picture whose rows are `stride` bytes apart, whatever size it
// was stretched to; -1 when the picture carries no code (the placeholder, say).
int read(const unsigned char *pixels, long long size, int width, int height, long long stride);

} // namespace CodedFrames
