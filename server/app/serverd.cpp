// norvalk-serverd: NorvalkServer's headless mode as a program of its own, for
// the service. It links no widget or GUI library, so a machine without a
// desktop needs none to run it.

#include "server/app/serverstartup.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    setServerApplicationNames();
    QCoreApplication app(argc, argv);
    const ServerCommandLine line = parseServerCommandLine(app.arguments(), ServerProgram::Service);
    return serveHeadless(app, line.options);
}
