#include "platform/ring/CameraShare.h"

namespace vistrel::ring {

std::string CameraShare::objectName(const std::string &cameraKey)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string name = "vistrel-camera-";
    for (const char c : cameraKey) {
        const auto byte = static_cast<unsigned char>(c);
        const bool safe = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                          (byte >= '0' && byte <= '9') || byte == '-' || byte == '_' || byte == '.';
        if (safe) {
            name += c;
        } else {
            name += '%';
            name += hex[byte >> 4];
            name += hex[byte & 0xF];
        }
    }
    // File and object names have limits: a long key keeps its start and a hash of the whole.
    constexpr size_t longest = 200;
    if (name.size() > longest) {
        uint64_t hash = 14695981039346656037ull;
        for (const char c : cameraKey)
            hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        name.resize(longest - 17);
        name += '-';
        for (int shift = 60; shift >= 0; shift -= 4)
            name += hex[(hash >> shift) & 0xF];
    }
    return name;
}

} // namespace vistrel::ring
