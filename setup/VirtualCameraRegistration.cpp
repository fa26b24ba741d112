#include "setup/VirtualCameraRegistration.h"

#include "driver/filter/VistrelCamGuids.h"
#include "platform/mf/mfidl.h"
#include "platform/windows/HresultText.h"
#include "platform/windows/win32.h"

#include <string>

namespace {

const wchar_t *libraryName = L"mfsensorgroup.dll";

template <typename Function> Function resolve(HMODULE library, const char *name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(library, name)));
}

class Library
{
public:
    explicit Library(const wchar_t *name) : m_module(LoadLibraryW(name)) {}
    ~Library()
    {
        if (m_module)
            FreeLibrary(m_module);
    }
    Library(const Library &) = delete;
    Library &operator=(const Library &) = delete;
    HMODULE module() const { return m_module; }

private:
    HMODULE m_module;
};

// The calls below may run on an apartment of their own; the program's other threads do not touch COM here.
class ComScope
{
public:
    ComScope() : m_hr(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComScope()
    {
        if (SUCCEEDED(m_hr))
            CoUninitialize();
    }
    ComScope(const ComScope &) = delete;
    ComScope &operator=(const ComScope &) = delete;

private:
    HRESULT m_hr;
};

// Shutdown and Release whatever happened between creation and the end of the scope.
class CameraHolder
{
public:
    CameraHolder() = default;
    ~CameraHolder()
    {
        if (!camera)
            return;
        camera->Shutdown();
        camera->Release();
    }
    CameraHolder(const CameraHolder &) = delete;
    CameraHolder &operator=(const CameraHolder &) = delete;
    IMFVirtualCamera *camera = nullptr;
};

} // namespace

const wchar_t *const VirtualCameraRegistration::kFriendlyName = L"Vistrel";

QString VirtualCameraRegistration::sourceId()
{
    OLECHAR text[40] = {};
    const int length = StringFromGUID2(CLSID_VistrelMediaSource, text, 40);
    // The count includes the terminating null.
    return length > 1 ? QString::fromWCharArray(text, length - 1) : QString();
}

VirtualCameraRegistration::Outcome VirtualCameraRegistration::add()
{
    return run(Action::Add);
}

VirtualCameraRegistration::Outcome VirtualCameraRegistration::remove()
{
    return run(Action::Remove);
}

void VirtualCameraRegistration::setLibraryNameForTest(const wchar_t *name)
{
    libraryName = name;
}

VirtualCameraRegistration::Outcome VirtualCameraRegistration::run(Action action)
{
    Outcome outcome;
    const auto finish = [&](Result result, HRESULT hr = S_OK, const char *call = nullptr) {
        outcome.result = result;
        outcome.hr = uint32_t(hr);
        outcome.line = describe(action, result, outcome.hr, call ? QString::fromLatin1(call) : QString());
        return outcome;
    };

    // Windows 10 has the library but not these functions; Wine has neither.
    const Library library(libraryName);
    const auto isSupported =
        library.module()
            ? resolve<PFN_MFIsVirtualCameraTypeSupported>(library.module(), "MFIsVirtualCameraTypeSupported")
            : nullptr;
    const auto create = library.module()
                            ? resolve<PFN_MFCreateVirtualCamera>(library.module(), "MFCreateVirtualCamera")
                            : nullptr;
    if (!isSupported || !create)
        return finish(Result::NotSupported);

    const ComScope com;
    BOOL supported = FALSE;
    HRESULT hr = isSupported(MFVirtualCameraType_SoftwareCameraSource, &supported);
    if (FAILED(hr))
        return finish(hr == E_ACCESSDENIED ? Result::AccessDenied : Result::Failed, hr,
                      "MFIsVirtualCameraTypeSupported");
    if (!supported)
        return finish(Result::NotSupported);

    // The same camera as added: Windows finds it by these values. All users, because the camera is part of
    // the installed product; kept across restarts, until the uninstaller removes it. No categories: Windows'
    // defaults are the camera categories applications look in.
    const std::wstring source = sourceId().toStdWString();
    CameraHolder holder;
    hr = create(MFVirtualCameraType_SoftwareCameraSource, MFVirtualCameraLifetime_System,
                MFVirtualCameraAccess_AllUsers, kFriendlyName, source.c_str(), nullptr, 0, &holder.camera);
    if (FAILED(hr) || !holder.camera)
        return finish(hr == E_ACCESSDENIED ? Result::AccessDenied : Result::Failed,
                      FAILED(hr) ? hr : E_POINTER, "MFCreateVirtualCamera");

    const bool adding = action == Action::Add;
    hr = adding ? holder.camera->Start(nullptr) : holder.camera->Remove();
    if (FAILED(hr))
        return finish(hr == E_ACCESSDENIED ? Result::AccessDenied : Result::Failed, hr,
                      adding ? "IMFVirtualCamera::Start" : "IMFVirtualCamera::Remove");
    return finish(adding ? Result::Added : Result::Removed);
}

QString VirtualCameraRegistration::describe(Action action, Result result, uint32_t hr,
                                            const QString &failedCall)
{
    const QString name = QString::fromWCharArray(kFriendlyName);
    const bool adding = action == Action::Add;
    const QString cause =
        hr ? QStringLiteral(" (%1: %2)").arg(failedCall, QString::fromStdString(hresultText(hr))) : QString();
    // On installation the DirectShow camera is there whatever happens here; on removal it is going anyway.
    const QString unaffected = adding ? QStringLiteral(" The DirectShow camera is unaffected.") : QString();
    switch (result) {
    case Result::Added:
        return QStringLiteral("Added the Windows virtual camera \"%1\" for all users: applications that use "
                              "Media Foundation list it.")
            .arg(name);
    case Result::Removed:
        return QStringLiteral("Removed the Windows virtual camera \"%1\".").arg(name);
    case Result::NotSupported:
        return adding
                   ? QStringLiteral("This Windows cannot add Media Foundation virtual cameras (Windows 11 "
                                    "can), so \"%1\" is not added; the DirectShow camera is unaffected.")
                         .arg(name)
                   : QStringLiteral("This Windows has no Media Foundation virtual cameras (Windows 11 has): "
                                    "there is none to remove.");
    case Result::AccessDenied:
        return QStringLiteral("The Windows virtual camera \"%1\" could not be %2: that needs an "
                              "administrator%3.%4")
            .arg(name, adding ? QStringLiteral("added") : QStringLiteral("removed"), cause, unaffected);
    case Result::Failed:
        break;
    }
    return QStringLiteral("The Windows virtual camera \"%1\" could not be %2%3.%4")
        .arg(name, adding ? QStringLiteral("added") : QStringLiteral("removed"), cause, unaffected);
}

int VirtualCameraRegistration::exitCode(Result result)
{
    switch (result) {
    case Result::Added:
    case Result::Removed:
    case Result::NotSupported:
        return 0;
    case Result::AccessDenied:
    case Result::Failed:
        break;
    }
    return 1;
}
