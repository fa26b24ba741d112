#pragma once

#include <QString>

#include <cstdint>

// Adds the media source to Windows as the virtual camera "Vistrel", for applications that find cameras
// through Media Foundation only, or removes it again. mfsensorgroup.dll is loaded at run time: Windows 10
// (and Wine) lack MFCreateVirtualCamera, and there the DirectShow camera must keep working as before.
// The camera is made for all users and stays across restarts, so adding and removing need an administrator;
// the installer does both.
class VirtualCameraRegistration
{
public:
    enum class Result
    {
        Added,
        Removed,
        NotSupported, // this Windows has no Media Foundation virtual cameras
        AccessDenied, // not run as an administrator
        Failed
    };
    enum class Action
    {
        Add,
        Remove
    };
    struct Outcome
    {
        Result result = Result::Failed;
        uint32_t hr = 0; // the failing call's HRESULT; 0 when none failed
        QString line;    // the outcome in one line, for a person and the installer's details
    };

    // The camera's name in Windows' camera lists.
    static const wchar_t *const kFriendlyName;
    // The media source's class identifier in the form MFCreateVirtualCamera takes, "{613DFA2E-...}".
    static QString sourceId();

    // Adds the camera and starts it (Windows then lists it and activates the source on demand).
    static Outcome add();
    // Removes the camera add() made.
    static Outcome remove();

    // The one line of an outcome; `failedCall` names the call that failed, when one did.
    static QString describe(Action action, Result result, uint32_t hr = 0, const QString &failedCall = {});
    // 0 when done, or when this system cannot have the camera (nothing is wrong then); 1 on a failure.
    static int exitCode(Result result);

    // Internal seam for tests: the library asked for (default "mfsensorgroup.dll").
    static void setLibraryNameForTest(const wchar_t *name);

private:
    static Outcome run(Action action);
};
