// The settings store is a file that the user, another program version or a failed write may have left
// in any state. Loading it must give the settings object defined values without a crash, and saving
// those values again must work too. Each input is written as the store file, then the settings are
// loaded, read, saved and deleted as the settings program and the driver do.
#include "fuzz/FuzzTarget.h"
#include "settings/GlobalSettings.h"

#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

std::string g_folder;
std::string g_storeFile;

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

void removeFolder()
{
    std::error_code error;
    fs::remove_all(g_folder, error);
}

// QSettings reuses a file it has read when its size and time stamp look unchanged; each input gets a
// time stamp of its own so that it is really read.
void writeStore(const uint8_t *data, size_t size)
{
    static long long stamp = 1000000000;
    FILE *file = std::fopen(g_storeFile.c_str(), "wb");
    FUZZ_CHECK(file != nullptr);
    if (size > 0)
        FUZZ_CHECK(std::fwrite(data, 1, size, file) == size);
    std::fclose(file);
    const timespec times[2] = {{stamp, 0}, {stamp, 0}};
    ++stamp;
    utimensat(AT_FDCWD, g_storeFile.c_str(), times, 0);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(quiet);
    char folder[] = "/tmp/vistrel-fuzz-settings.XXXXXX";
    FUZZ_CHECK(mkdtemp(folder) != nullptr);
    g_folder = folder;
    // The store lives under the configuration folder; it must be ours before Qt first looks it up.
    setenv("XDG_CONFIG_HOME", folder, 1);
    setenv("HOME", folder, 1);
    fs::create_directories(g_folder + "/com.quorvane.vistrel");
    g_storeFile = g_folder + "/com.quorvane.vistrel/Vistrel App.conf";
    std::atexit(removeFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    writeStore(data, size);

    GlobalSettings *settings = GlobalSettings::instance(nullptr);
    // Every value is read the way its users read it.
    const QVariantMap deviceInfo = settings->get_deviceInfo();
    const QString camera = deviceInfo.value("cn").toString();
    const QSize viewFinder = deviceInfo.value("nr").toSize();
    const QSize custom = settings->get_videoResolution();
    const double fps = settings->get_videoFps();
    (void)camera;
    (void)viewFinder;
    (void)custom;
    (void)fps;
    settings->get_selectedLanguage();
    settings->get_desktopMainWindowSize();
    settings->get_desktopMainWindowPos();

    // Whatever was loaded can be written back.
    settings->saveSettings();
    delete settings;
    return 0;
}
