// One camera shared by every instance of the driver on the machine, in any process: a holder lock that
// says which instance has the camera's session, and the frame ring (FrameRing.h) that the holder fills and
// the others read. Both are named after the camera and allow the current user only.
//
// On Windows: a named mutex and a named file mapping in the session's namespace. Elsewhere: a robust
// process-shared mutex and a mapped file in the user's runtime folder. Either way the system frees the lock
// when its holder dies, which wakes an instance waiting for it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vistrel::ring {

class CameraShare
{
public:
    // Opens, making them if needed, the lock and ring of the camera `cameraKey` (its port name). Null with
    // `why` when the system refuses them.
    static std::unique_ptr<CameraShare> open(const std::string &cameraKey, std::string &why);
    virtual ~CameraShare() = default;

    enum class Hold
    {
        Taken,
        TakenFromDead, // the previous holder died holding it; its process has ended since
        Busy,
        Interrupted,
        Failed
    };
    // Takes the lock without waiting.
    virtual Hold tryHold() = 0;
    // Waits until the lock is this caller's, or until interrupt(). The lock belongs to the calling thread,
    // which alone may release it.
    virtual Hold waitToHold() = 0;
    // From any thread: ends the current wait and every later one.
    virtual void interrupt() = 0;
    // Lets the lock go; the destructor does too.
    virtual void release() = 0;

    // The ring's memory, mapped for the life of this object.
    virtual void *ring() const = 0;
    virtual uint64_t ringSize() const = 0;

    // The name of the camera's objects: the key's safe characters kept, every other byte as %XX.
    static std::string objectName(const std::string &cameraKey);
    // This process's identifier, as the ring records its holder.
    static uint32_t processId();
};

} // namespace vistrel::ring
