// Pictures of the terminal's windows for the documentation:
//
//     norvalk_screenshots DIR
//
// writes main.png, settings.png, login.png and message.png into DIR, and
// the goods and check windows (goods-*.png, check.png, delivery.png,
// operations3d-*.png) as they look at work. Run it on a real display (Xvfb
// will do) so that the fonts are those a terminal shows. The settings file
// is a temporary one; the shell's windows are drawn without connecting, the
// goods windows against NorvalkServer on a fresh demo database on loopback.

#include "clientformat.h"
#include "createonce.h"
#include "guiapplication.h"
#include "searchedit.h"
#include "settingsfile.h"
#include "tenterpasword.h"
#include "testdatabase.h"
#include "testserver.h"
#include "tnorvalkmain.h"
#include "toperacijas_3d.h"
#include "tpiegadesapstiprinasana.h"
#include "tprecudati.h"
#include "tsanemsanasparbaude.h"
#include "tsyscon.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
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

// A scanner's code: the text, then Return.
void scan(QWidget* field, const QString& text)
{
    field->setFocus();
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
}

void clickTab(QTabWidget* tabs, QWidget* page)
{
    QTabBar* bar = tabs->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tabs->indexOf(page)).center());
}

// A menu command as a person gives it the first time: the login it asks
// for, then the command again.
void runCommand(QPushButton* command)
{
    QTest::mouseClick(command, Qt::LeftButton);
    if (EnterPasword && EnterPasword->isVisible()) {
        EnterPasword->edUserName()->setText(QStringLiteral("CHIEF"));
        EnterPasword->edPasword()->setText(QStringLiteral("1234"));
        QTest::mouseClick(EnterPasword->btAutorizet(), Qt::LeftButton);
        QTest::mouseClick(command, Qt::LeftButton);
    }
}

// The window a command opened, active as a window manager would make it,
// so that the focus moves between its fields as on a terminal.
template <typename Window> Window* active(Window* window)
{
    if (!window)
        return nullptr;
    QApplication::setActiveWindow(window);
    if (!QTest::qWaitForWindowActive(window))
        std::fprintf(stderr, "%s was not activated\n", qPrintable(window->objectName()));
    QTest::qWait(50);
    return window;
}

// The goods and check windows at work on the demo database.
bool goodsWindows(TNorvalkMain& mainWindow, const QDir& folder)
{
    TestDatabase database(TestDatabase::Content::Demo);
    TestServer server;
    if (!database.isValid() || !server.start(database.path())) {
        std::fprintf(stderr, "no demo server: %s\n", qPrintable(database.error()));
        return false;
    }
    IniWriteString(QStringLiteral("SysCon"), QStringLiteral("HostName"),
                   QStringLiteral("127.0.0.1"));
    mainWindow.setServerPort(server.port());

    runCommand(mainWindow.btPrecuDati());
    TPrecuDati* goods = active(PrecuDati);
    if (!goods)
        return false;
    goods->cmbNodala()->setCurrentIndex(goods->cmbNodala()->findText("Veikals \"Centrs\" Rīgā"));
    scan(goods->edArtikuls(), QStringLiteral("4750000000035"));
    bool ok = save(goods, folder, QStringLiteral("goods-data.png"));
    clickTab(goods->tabs(), goods->tabJaunaPrece());
    goods->edNewArtikuls()->setText(QStringLiteral("4751234567890"));
    goods->edNewGnos()->setText(QStringLiteral("Zemenes 250 g"));
    goods->edNewPVN()->setText(QStringLiteral("12"));
    ok = save(goods, folder, QStringLiteral("goods-new.png")) && ok;
    clickTab(goods->tabs(), goods->tabAkcijas());
    ok = save(goods, folder, QStringLiteral("goods-promotions.png")) && ok;
    goods->hide();

    runCommand(mainWindow.btSanemsanasParbaude());
    TSanemsanasParbaude* check = active(SanemsanasParbaude);
    if (!check)
        return false;
    check->dtDatNo()->setDate(QDate(2024, 5, 2));
    check->dtDatLidz()->setDate(QDate(2024, 5, 2));
    scan(check->edArtikuls(), QStringLiteral("4750000000028"));
    scan(check->edDaudzums(), QStringLiteral("5"));
    scan(check->edArtikuls(), QStringLiteral("4750000000011"));
    QTest::keyClicks(check->edDaudzums(), QStringLiteral("6"));
    ok = save(check, folder, QStringLiteral("check.png")) && ok;
    check->hide();

    runCommand(mainWindow.btPiegadesApstiprin());
    TPiegadesApstiprinasana* delivery = active(PiegadesApstiprinasana);
    if (!delivery)
        return false;
    scan(delivery->edQR_Kods(), QStringLiteral("NORVALK PARVIETOSANA 3 ID:B3"));
    ok = save(delivery, folder, QStringLiteral("delivery.png")) && ok;
    delivery->hide();

    runCommand(mainWindow.bt3D_Operacijas());
    TOperacijas_3D* operations = active(Operacijas_3D);
    if (!operations)
        return false;
    QTest::mouseClick(operations->rdKind(1), Qt::LeftButton);
    ok = save(operations, folder, QStringLiteral("operations3d-data.png")) && ok;
    clickTab(operations->tabs(), operations->tabSaraksts());
    operations->dtDatNo()->setDate(QDate(2024, 5, 1));
    ok = save(operations, folder, QStringLiteral("operations3d-list.png")) && ok;
    operations->hide();
    return ok;
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
    box.hide();

    ok = goodsWindows(mainWindow, folder) && ok;
    return ok ? 0 : 1;
}
