#include "logging/loggingmanager.h"

int main(int, char **)
{
    VM::LoggingManager::initializeLoggers(VM::LogLevel::Trace, "qx.dumpreporter.velmora.log");
    LOG_INFO(QStringLiteral("Dump reporter has been started."));
    return 0;
}
