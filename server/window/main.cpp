// NorvalkServer: serves the terminals' provider requests on TCP port 211,
// with its window or, given --headless, on the console. The service runs
// norvalk-serverd instead, which never loads the widgets.

#include "gui/guiapplication.h"
#include "server/app/serverstartup.h"
#include "server/app/terminationwatcher.h"
#include "server/window/tnorvaskserverfm.h"

#include <QCoreApplication>

namespace {

int runWindowed(int argc, char** argv)
{
    GuiApplication app(argc, argv);
    app.setApplicationDisplayName(QStringLiteral("Norvalk server"));
    const ServerCommandLine line = parseServerCommandLine(app.arguments(), ServerProgram::Windowed);
    try {
        TNorvaskServerFM window(line.options);
        if (window.FormCreate() == ServerHost::Startup::Ended)
            return 1;
        window.show();
        TerminationWatcher termination;
        termination.install();
        QObject::connect(&termination, &TerminationWatcher::terminationRequested, &window,
                         &QWidget::close);
        QObject::connect(&termination, &TerminationWatcher::reloadRequested, &window,
                         &TNorvaskServerFM::btReloadClick);
        const int result = app.exec();
        if (!window.stoppedCleanly())
            endWithoutCleanup();
        return result;
    } catch (...) {
        // Start-up runs outside the event loop, where notify() would catch it.
        GuiApplication::showError(GuiApplication::exceptionText(std::current_exception()));
        return 1;
    }
}

} // namespace

int main(int argc, char** argv)
{
    setServerApplicationNames();
    if (!asksForHeadless(argc, argv))
        return runWindowed(argc, argv);
    QCoreApplication app(argc, argv);
    const ServerCommandLine line = parseServerCommandLine(app.arguments(), ServerProgram::Windowed);
    return serveHeadless(app, line.options);
}
