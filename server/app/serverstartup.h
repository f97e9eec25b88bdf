#pragma once

#include "server/app/serverhost.h"

#include <QStringList>

class QCoreApplication;

// What the two server programs share before and after serving: the command
// line, the names the configuration store is found by, serving without a
// window, and the abrupt end. NorvalkServer (the window, or --headless) and
// norvalk-serverd (the service, never a window) are thin mains over it, so
// that both take the same options the same way.

enum class ServerProgram
{
    Windowed, // NorvalkServer: a window unless --headless
    Service,  // norvalk-serverd: always headless
};

struct ServerCommandLine
{
    bool headless = false;
    ServerOptions options;
};

// The organisation and application the configuration store is kept under;
// before the application object, which reads them.
void setServerApplicationNames();

// Whether the arguments ask NorvalkServer to serve without a window; looked
// at before any application object exists, since that choice decides which.
bool asksForHeadless(int argc, char** argv);

// The options of both programs. --help prints them and exits 0; a value that
// cannot be used is reported on standard error and exits 2.
ServerCommandLine parseServerCommandLine(const QStringList& arguments, ServerProgram program);

// Serves until SIGTERM or SIGINT: the log goes to standard output, what the
// window would show in a box to standard error, SIGHUP reloads. Returns the
// exit code: 1 when the start-up cannot go on.
int serveHeadless(QCoreApplication& app, const ServerOptions& options);

// A worker stayed inside the database after its statement was cancelled:
// the program ends without running its destructors under it.
[[noreturn]] void endWithoutCleanup();
