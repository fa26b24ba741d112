#include "platform/edsdk/sim/SessionLock.h"

#include <cstdio>

namespace edsim {

std::string SessionLock::fileName(const std::string &port)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string name;
    for (const char c : port) {
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
    return "camera-" + name + ".lock";
}

} // namespace edsim
