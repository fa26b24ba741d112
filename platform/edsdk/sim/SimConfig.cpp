#include "platform/edsdk/sim/SimConfig.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace edsim {
namespace {

std::vector<std::string> split(const std::string &text, char separator)
{
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    for (;;) {
        const auto end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

std::string trimmed(const std::string &text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool parseUnsigned(const std::string &text, uint64_t limit, uint64_t &value)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    errno = 0;
    const unsigned long long parsed = std::strtoull(text.c_str(), nullptr, 10);
    if (errno != 0 || parsed > limit)
        return false;
    value = parsed;
    return true;
}

bool parseSize(const std::string &text, int &width, int &height)
{
    const auto x = text.find('x');
    uint64_t w = 0, h = 0;
    if (x == std::string::npos || !parseUnsigned(text.substr(0, x), maxLiveViewSide, w) ||
        !parseUnsigned(text.substr(x + 1), maxLiveViewSide, h) || w == 0 || h == 0)
        return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

bool parseRate(const std::string &text, double &rate)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    const double parsed = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(parsed) || parsed < 0 || parsed > 1000)
        return false;
    rate = parsed;
    return true;
}

bool applySetting(CameraConfig &camera, const std::string &setting, std::string &error)
{
    const auto equals = setting.find('=');
    if (equals == std::string::npos) {
        error = "setting without '=': " + setting;
        return false;
    }
    const std::string key = trimmed(setting.substr(0, equals));
    const std::string value = trimmed(setting.substr(equals + 1));
    uint64_t number = 0;
    bool ok = true;
    if (key == "size") {
        ok = parseSize(value, camera.width, camera.height);
    } else if (key == "fps") {
        ok = parseRate(value, camera.framesPerSecond);
    } else if (key == "port") {
        ok = !value.empty() && value.size() < 256;
        camera.port = value;
    } else if (key == "idle") {
        ok = parseUnsigned(value, 24ull * 3600, number);
        camera.idleMs = static_cast<uint32_t>(number * 1000);
    } else if (key == "startup") {
        ok = parseUnsigned(value, 600000, number);
        camera.startupMs = static_cast<uint32_t>(number);
    } else if (key == "frames") {
        ok = !value.empty();
        camera.framesPath = value;
    } else {
        error = "unknown setting: " + key;
        return false;
    }
    if (!ok)
        error = "bad value for " + key + ": " + value;
    return ok;
}

bool isJpegName(const std::string &name)
{
    auto lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    auto endsWith = [&](const char *suffix) {
        const std::string s(suffix);
        return lower.size() > s.size() && lower.compare(lower.size() - s.size(), s.size(), s) == 0;
    };
    return endsWith(".jpg") || endsWith(".jpeg");
}

bool readFile(const std::string &path, std::vector<uint8_t> &bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad() && !bytes.empty();
}

} // namespace

bool parseCameraConfiguration(const std::string &text, std::vector<CameraConfig> &cameras, std::string &error)
{
    cameras.clear();
    if (trimmed(text).empty())
        return true;
    for (const auto &entry : split(text, ';')) {
        if (trimmed(entry).empty())
            continue;
        const auto fields = split(entry, ':');
        CameraConfig camera;
        camera.model = trimmed(fields.front());
        if (camera.model.empty() || camera.model.size() >= 256) {
            error = "bad camera model: " + entry;
            return false;
        }
        for (std::size_t i = 1; i < fields.size(); ++i) {
            if (!applySetting(camera, fields[i], error))
                return false;
        }
        cameras.push_back(camera);
    }
    return true;
}

bool loadReplayFrames(const std::string &path, std::vector<std::vector<uint8_t>> &frames)
{
    frames.clear();
    struct stat info
    {
    };
    if (stat(path.c_str(), &info) != 0)
        return false;
    std::vector<std::string> files;
    if (S_ISDIR(info.st_mode)) {
        DIR *dir = opendir(path.c_str());
        if (!dir)
            return false;
        while (const dirent *entry = readdir(dir)) {
            if (isJpegName(entry->d_name))
                files.push_back(path + "/" + entry->d_name);
        }
        closedir(dir);
        std::sort(files.begin(), files.end());
    } else {
        files.push_back(path);
    }
    for (const auto &file : files) {
        std::vector<uint8_t> bytes;
        if (readFile(file, bytes))
            frames.push_back(std::move(bytes));
    }
    return !frames.empty();
}

} // namespace edsim
