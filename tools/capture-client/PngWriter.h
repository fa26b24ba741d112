#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Writes one frame of the capture format (blue, green, red per pixel, rows bottom-up, `stride` bytes
// apart) as an 8-bit RGB PNG, top row first. The file is written beside its final name and renamed
// into place, so a failed write never leaves a half picture under that name.
bool writeBgrBottomUpPng(const std::string &path, const uint8_t *frame, int width, int height, size_t stride,
                         std::string *error);
