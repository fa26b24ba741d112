#include "tests/soak/DriverLines.h"

#include <QtGlobal>

#include <atomic>

namespace DriverLines {
namespace {

std::atomic<long long> g_lines{0};

void countLine(QtMsgType, const QMessageLogContext &, const QString &)
{
    ++g_lines;
}

} // namespace

void startCounting()
{
    qInstallMessageHandler(countLine);
}

long long counted()
{
    return g_lines.load();
}

} // namespace DriverLines
