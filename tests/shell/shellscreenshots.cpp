// Pictures of the terminal's windows for the documentation:
//
//     norvalk_screenshots DIR
//
// writes main.png, settings.png, login.png and message.png into DIR. Run it
// on a real display (Xvfb will do) so that the fonts are those a terminal
// shows. The settings file is a temporary one; nothing connects.

#include "clientformat.h"
#include "createonce.h"
#include "guiapplication.h"
#include "settingsfile.h"
#include "tenterpasword.h"
#include "tnorvalkmain.h"
#include "tsyscon.h"

#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

bool save(QWidget* window, const QDir& folder, const QString& name)
{
    window->show();
    if (!QTest::qWaitForWindowExposed(window))
        return false;
    QTest::qWait(200);
    const QString path = folder.filePath(name);
    if (!window->grab().save(path))
        return false;
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral(".config")).toLocal8Bit());
    GuiApplication application(argc, argv);
    GuiApplication::setApplicationDisplayName(QStringLiteral("Norvalk"));
    if (argc != 2) {
        std::fprintf(stderr, "usage: norvalk_screenshots DIR\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(folder.path()))
        return 1;
    ClientFormat::setLocale(QLocale(QLocale::Latvian, QLocale::Latvia));
    IniWriteBool(QStringLiteral("SysCon"), QStringLiteral("NeraditEkranaKlaviaturu"), true);

    TNorvalkMain mainWindow;
    bool ok = save(&mainWindow, folder, QStringLiteral("main.png"));

    TSysCon* settings = CreateOnce(SysCon, &mainWindow);
    ok = ok && save(settings, folder, QStringLiteral("settings.png"));
    settings->hide();

    TEnterPasword* login = CreateOnce(EnterPasword, &mainWindow);
    login->show();
    login->edPasword()->setText(QStringLiteral("1234"));
    ok = ok && save(login, folder, QStringLiteral("login.png"));
    login->hide();

    // The message box as ShowMessage shows it.
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Norvalk"),
                    QStringLiteral("Nav iestatīta servera IP adrese, pieslēgšanās nenotiks !!!"),
                    QMessageBox::Ok, &mainWindow);
    ok = ok && save(&box, folder, QStringLiteral("message.png"));
    return ok ? 0 : 1;
}
