// Norvalk, the terminal program: parses the command line, makes the main
// window and runs until it is closed.

#include "client/app/tnorvalkmain.h"
#include "client/core/serverconnection.h"
#include "client/core/settingsfile.h"
#include "client/core/systemsettings.h"
#include "client/core/terminalidentity.h"
#include "client/widgets/errortone.h"
#include "client/widgets/screenkeyboard.h"
#include "common/showmessage.h"
#include "gui/guiapplication.h"

#include <QCommandLineParser>

#include <cstdio>

int main(int argc, char** argv)
{
    // The input method is chosen before the application object loads it.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    ScreenKeyboard::EnableBeforeStart(arguments);

    GuiApplication application(argc, argv);
    GuiApplication::setApplicationName(QStringLiteral("Norvalk"));
    GuiApplication::setApplicationDisplayName(QStringLiteral("Norvalk"));
    GuiApplication::setApplicationVersion(TNorvalkMain::Version());
    // Every message box of the terminal sounds, errors shown by the
    // application object included.
    setMessageHandler(ShowMessageWithTone);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Norvalk terminal"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(
        QStringLiteral("port"), QStringLiteral("Port of NorvalkServer (default 211)."),
        QStringLiteral("N"), QString::number(ServerConnection::DefaultPort));
    const QCommandLineOption demoHostOption(
        QStringLiteral("demo-host"),
        QStringLiteral("Server address to save in the settings when they name none yet."),
        QStringLiteral("HOST"));
    const QCommandLineOption demoCertificateOption(
        QStringLiteral("demo-server-certificate"),
        QStringLiteral("Server certificate fingerprint to save in the settings when they pin "
                       "none yet."),
        QStringLiteral("FINGERPRINT"));
    const QCommandLineOption fingerprintOption(
        QStringLiteral("terminal-fingerprint"),
        QStringLiteral("Print the fingerprint of this terminal's own certificate (made now when "
                       "it has none), for the server's terminals file, and end."));
    const QCommandLineOption keyboardOffOption(
        QString::fromLatin1(ScreenKeyboard::OffSwitch),
        QStringLiteral("No on-screen keyboard (a terminal with keys of its own)."));
    parser.addOption(portOption);
    parser.addOption(demoHostOption);
    parser.addOption(demoCertificateOption);
    parser.addOption(fingerprintOption);
    parser.addOption(keyboardOffOption);
    parser.process(application);

    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port == 0 || port > 65535) {
        std::fprintf(stderr, "Norvalk: --port needs a number from 1 to 65535\n");
        return 2;
    }

    if (parser.isSet(fingerprintOption)) {
        try {
            std::printf("%s\n",
                        qPrintable(TerminalIdentity::LoadOrCreate(TerminalIdentity::DefaultFolder())
                                       .fingerprint()));
            return 0;
        } catch (...) {
            std::fprintf(stderr, "Norvalk: %s\n",
                         qPrintable(GuiApplication::exceptionText(std::current_exception())));
            return 1;
        }
    }

    try {
        // A demonstration terminal finds its server without a visit to the
        // settings window; an address set there, even an empty one, stays.
        const QString noAddress = QStringLiteral("<none>");
        if (parser.isSet(demoHostOption) &&
            IniReadString(QStringLiteral("SysCon"), QStringLiteral("HostName"), noAddress) ==
                noAddress)
            IniWriteString(QStringLiteral("SysCon"), QStringLiteral("HostName"),
                           parser.value(demoHostOption));
        if (parser.isSet(demoCertificateOption) && SystemSettings::ServerCertificate().isEmpty())
            SystemSettings::SetServerCertificate(parser.value(demoCertificateOption));

        TNorvalkMain mainWindow;
        mainWindow.setServerPort(quint16(port));
        mainWindow.show();
        GuiApplication::exec();
    } catch (...) {
        // Errors in handlers are shown by the application object and the
        // program goes on; only one escaping the start gets here.
        GuiApplication::showError(GuiApplication::exceptionText(std::current_exception()));
        return 1;
    }
    return 0;
}
