// The driver's log lines belong to the host application: every Qt message of the driver is handed,
// unchanged, to the message handler the host had in force when it loaded the driver.
#pragma once

#include <QtGlobal>

// The host's handler, captured once while the library is loaded (before any driver thread exists).
extern QtMessageHandler previousMessageHandler;

// Installed by every filter creation; passes type, context and message on to previousMessageHandler.
void forwardingMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message);
