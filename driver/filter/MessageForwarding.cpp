#include "driver/filter/MessageForwarding.h"

// Static initialisation of the library: qInstallMessageHandler(nullptr) puts Qt's default handler
// back and yields the one in force, which is the host's own if it installed one.
QtMessageHandler previousMessageHandler = qInstallMessageHandler(nullptr);

void forwardingMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    // Never null in practice (Qt hands out its default handler), but a handler must not crash the host.
    if (previousMessageHandler != nullptr && previousMessageHandler != forwardingMessageHandler)
        previousMessageHandler(type, context, message);
}

namespace {

// The handler is not withdrawn when a filter goes, but it must go with the library: once the library
// is unloaded (the COM runtime frees it when the last filter is released) a handler left behind would
// point at unmapped code and crash the host at its next log line. The host's handler is put back,
// unless something installed after us is in force.
struct HandlerRestorer
{
    ~HandlerRestorer()
    {
        const QtMessageHandler current = qInstallMessageHandler(previousMessageHandler);
        if (current != forwardingMessageHandler)
            qInstallMessageHandler(current);
    }
} handlerRestorer;

} // namespace
