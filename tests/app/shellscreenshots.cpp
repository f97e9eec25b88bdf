// Pictures of the terminal's windows for the documentation:
//
//     norvalk_screenshots DIR
//
// writes main.png, settings.png, login.png and message.png (the shell,
// with login-keyboard.png: the screen with the on-screen keyboard up,
// drawn without connecting), then the goods and check windows (goods-*.png,
// check.png, delivery.png, operations3d-*.png) and the document windows
// (documents-*.png, with documents-lines-keyboard.png) at work against NorvalkServer on a fresh
// demo database on loopback. Run it on a real display (Xvfb will do) so that the fonts are those a
// terminal shows. The settings file is a temporary one.

#include "client/app/tenterpasword.h"
#include "client/app/tnorvalkmain.h"
#include "client/app/tsyscon.h"
#include "client/core/settingsfile.h"
#include "client/documents/tdokievads.h"
#include "client/documents/tdokievadspreces.h"
#include "client/documents/tvaidzestierakstu.h"
#include "client/goods/toperacijas_3d.h"
#include "client/goods/tpiegadesapstiprinasana.h"
#include "client/goods/tprecudati.h"
#include "client/goods/tsanemsanasparbaude.h"
#include "client/widgets/datasetlistview.h"
#include "client/widgets/screenkeyboard.h"
#include "client/widgets/searchedit.h"
#include "common/certificatefingerprint.h"
#include "gui/guiapplication.h"
#include "tests/support/windowfixture.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QInputMethod>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabWidget>
#include <QTest>

#include <cstdio>

namespace {

bool save(QWidget* window, const QDir& folder, const QString& name)
{
    window->show();
    if (!QTest::qWaitForWindowExposed(window))
        return false;
    QTest::qWait(250);
    const QString path = folder.filePath(name);
    if (!window->grab().save(path))
        return false;
    std::printf("%s\n", qPrintable(path));
    return true;
}

// The window and, below it, the on-screen keyboard that its focused field
// brought up, as the screen shows them. Nothing without the keyboard.
bool saveWithKeyboard(QWidget* window, const QDir& folder, const QString& name)
{
    if (!ScreenKeyboard::PluginInstalled())
        return true;
    const QInputMethod* inputMethod = QGuiApplication::inputMethod();
    // The first showing loads the keyboard's panel first.
    (void)QTest::qWaitFor([inputMethod] { return inputMethod->isVisible(); }, 5000);
    QTest::qWait(500);
    if (!inputMethod->isVisible()) {
        std::fprintf(stderr, "%s: no on-screen keyboard came up\n", qPrintable(name));
        return false;
    }
    const QRect shown =
        window->frameGeometry().united(inputMethod->keyboardRectangle().toAlignedRect());
    const QString path = folder.filePath(name);
    if (!window->screen()
             ->grabWindow(0, shown.x(), shown.y(), shown.width(), shown.height())
             .save(path))
        return false;
    std::printf("%s\n", qPrintable(path));
    return true;
}

// The window a command opened, active as a window manager would make it,
// so that the focus moves between its fields as on a terminal.
template <typename Window> Window* active(Window* window)
{
    if (window)
        WindowFixture::activate(window);
    return window;
}

bool shellWindows(const QDir& folder)
{
    TNorvalkMain mainWindow;
    bool ok = save(&mainWindow, folder, QStringLiteral("main.png"));

    // As on a terminal whose link is encrypted: an accepted server
    // certificate (any fingerprint will do for the picture).
    IniWriteString(QStringLiteral("SysCon"), QStringLiteral("ServerCertificate"),
                   CertificateFingerprint(QByteArrayLiteral("server certificate")));
    TSysCon* settings = mainWindow.makeSysCon();
    ok = save(settings, folder, QStringLiteral("settings.png")) && ok;
    settings->hide();
    IniWriteString(QStringLiteral("SysCon"), QStringLiteral("ServerCertificate"), QString());

    TEnterPasword* login = mainWindow.makeEnterPasword();
    login->show();
    login->edPasword()->setText(QStringLiteral("1234"));
    ok = save(login, folder, QStringLiteral("login.png")) && ok;
    // The window system's focus too: the keyboard types into its window.
    login->activateWindow();
    (void)QTest::qWaitFor(
        [login] { return QGuiApplication::focusWindow() == login->windowHandle(); });
    login->btClose()->setFocus();
    login->edUserName()->setFocus(); // a tap into the field
    ok = saveWithKeyboard(login, folder, QStringLiteral("login-keyboard.png")) && ok;
    login->hide();

    // The message box as ShowMessage shows it.
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Norvalk"),
                    QStringLiteral("Nav iestatīta servera IP adrese, pieslēgšanās nenotiks !!!"),
                    QMessageBox::Ok, &mainWindow);
    ok = save(&box, folder, QStringLiteral("message.png")) && ok;
    return ok;
}

bool goodsWindows(WindowFixture& fixture, const QDir& folder)
{
    TNorvalkMain* mainWindow = fixture.mainWindow();
    fixture.runMenuCommand(mainWindow->btPrecuDati());
    TPrecuDati* goods = active(mainWindow->precuDati());
    if (!goods)
        return false;
    goods->cmbNodala()->setCurrentIndex(goods->cmbNodala()->findText("Veikals \"Centrs\" Rīgā"));
    goods->edArtikuls()->setFocus();
    WindowFixture::scan(goods->edArtikuls(), QStringLiteral("4750000000035"));
    bool ok = save(goods, folder, QStringLiteral("goods-data.png"));
    WindowFixture::clickTab(goods->tabs(), goods->tabJaunaPrece());
    goods->edNewArtikuls()->setText(QStringLiteral("4751234567890"));
    goods->edNewGnos()->setText(QStringLiteral("Zemenes 250 g"));
    goods->edNewPVN()->setText(QStringLiteral("12"));
    ok = save(goods, folder, QStringLiteral("goods-new.png")) && ok;
    WindowFixture::clickTab(goods->tabs(), goods->tabAkcijas());
    ok = save(goods, folder, QStringLiteral("goods-promotions.png")) && ok;
    goods->hide();

    fixture.runMenuCommand(mainWindow->btSanemsanasParbaude());
    TSanemsanasParbaude* check = active(mainWindow->sanemsanasParbaude());
    if (!check)
        return false;
    check->dtDatNo()->setDate(QDate(2024, 5, 2));
    check->dtDatLidz()->setDate(QDate(2024, 5, 2));
    check->edArtikuls()->setFocus();
    WindowFixture::scan(check->edArtikuls(), QStringLiteral("4750000000028"));
    WindowFixture::scan(check->edDaudzums(), QStringLiteral("5"));
    WindowFixture::scan(check->edArtikuls(), QStringLiteral("4750000000011"));
    QTest::keyClicks(check->edDaudzums(), QStringLiteral("6"));
    ok = save(check, folder, QStringLiteral("check.png")) && ok;
    check->hide();

    fixture.runMenuCommand(mainWindow->btPiegadesApstiprin());
    TPiegadesApstiprinasana* delivery = active(mainWindow->piegadesApstiprinasana());
    if (!delivery)
        return false;
    delivery->edQR_Kods()->setFocus();
    WindowFixture::scan(delivery->edQR_Kods(), QStringLiteral("NORVALK PARVIETOSANA 3 ID:B3"));
    ok = save(delivery, folder, QStringLiteral("delivery.png")) && ok;
    delivery->hide();

    fixture.runMenuCommand(mainWindow->bt3D_Operacijas());
    TOperacijas_3D* operations = active(mainWindow->operacijas_3D());
    if (!operations)
        return false;
    QTest::mouseClick(operations->rdKind(1), Qt::LeftButton);
    ok = save(operations, folder, QStringLiteral("operations3d-data.png")) && ok;
    WindowFixture::clickTab(operations->tabs(), operations->tabSaraksts());
    operations->dtDatNo()->setDate(QDate(2024, 5, 1));
    ok = save(operations, folder, QStringLiteral("operations3d-list.png")) && ok;
    operations->hide();
    return ok;
}

void scanLine(TDokIevadsPreces* lines, const QString& code, const QString& quantity)
{
    lines->edArtikuls()->setFocus();
    WindowFixture::scan(lines->edArtikuls(), code);
    QTest::qWait(50);
    if (!quantity.isEmpty())
        WindowFixture::scan(lines->edDaudzums(), quantity);
    QTest::qWait(50);
}

bool documentWindows(WindowFixture& fixture, const QDir& folder)
{
    fixture.runMenuCommand(fixture.mainWindow()->btDokumenti());
    TDokIevads* header = active(fixture.mainWindow()->dokIevads());
    if (!header)
        return false;
    header->cmbNodala()->setCurrentIndex(
        header->cmbNodala()->findText(QStringLiteral("Veikals \"Centrs\" Rīgā")));
    header->edKlientuAtlase()->setFocus();
    WindowFixture::scan(header->edKlientuAtlase(), QStringLiteral("Piena"));
    header->cmbKlients()->hidePopup();
    header->cmbKlients()->setCurrentIndex(0);
    header->edPZ_Numurs()->setText(QStringLiteral("R-2026/12"));
    bool ok = save(header, folder, QStringLiteral("documents-header.png"));

    QTest::mouseClick(header->btSave(), Qt::LeftButton);
    TDokIevadsPreces* lines = active(header->dokIevadsPreces());
    if (!lines)
        return false;
    scanLine(lines, QStringLiteral("4750000000011"), QStringLiteral("12"));
    scanLine(lines, QStringLiteral("4750000000080"), QStringLiteral("2"));
    scanLine(lines, QStringLiteral("2212345012345"), QStringLiteral("1,234"));
    scanLine(lines, QStringLiteral("4750000000028"), QString());
    ok = save(lines, folder, QStringLiteral("documents-lines-receiving.png")) && ok;
    // The quantity is typed: the number keyboard is up under the window.
    ok = saveWithKeyboard(lines, folder, QStringLiteral("documents-lines-keyboard.png")) && ok;
    WindowFixture::clickTab(lines->tabLappuses(), lines->tabSaraksts());
    ok = save(lines, folder, QStringLiteral("documents-lines-list.png")) && ok;
    DataSetListView* list = lines->lstPreces();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->buttonRect(1).center());
    if (TVaiDzestIerakstu* confirm = lines->deleteConfirmation()) {
        ok = save(confirm, folder, QStringLiteral("documents-delete.png")) && ok;
        confirm->close();
    }
    lines->close();

    WindowFixture::activate(header);
    WindowFixture::clickTab(header->tabs(), header->tabSaraksts());
    header->dtDatNo()->setDate(QDate(2024, 1, 1));
    ok = save(header, folder, QStringLiteral("documents-header-list.png")) && ok;

    WindowFixture::clickTab(header->tabs(), header->tabDati());
    header->kindButton(DocumentKind::Inventory)->click();
    header->edPZ_Numurs()->setText(QStringLiteral("INV-7"));
    QTest::mouseClick(header->btSave(), Qt::LeftButton);
    scanLine(active(lines), QStringLiteral("4750000000011"), QString());
    ok = save(lines, folder, QStringLiteral("documents-lines-inventory.png")) && ok;
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    // The terminal's keyboard, whatever the settings of the one running this.
    if (ScreenKeyboard::PluginInstalled()) {
        qputenv("QT_IM_MODULE", "qtvirtualkeyboard");
        qputenv("QT_QUICK_BACKEND", "software");
    }
    GuiApplication application(argc, argv);
    GuiApplication::setApplicationDisplayName(QStringLiteral("Norvalk"));
    if (argc != 2) {
        std::fprintf(stderr, "usage: norvalk_screenshots DIR\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(folder.path()))
        return 1;
    WindowFixture fixture; // a home folder of its own, the Latvian formats
    IniWriteBool(QStringLiteral("SysCon"), QStringLiteral("NeraditEkranaKlaviaturu"), true);
    bool ok = shellWindows(folder);

    const QString error = fixture.startServer();
    if (!error.isEmpty()) {
        std::fprintf(stderr, "no demo server: %s\n", qPrintable(error));
        return 1;
    }
    fixture.openMainWindow();
    ok = goodsWindows(fixture, folder) && ok;
    ok = documentWindows(fixture, folder) && ok;
    return ok ? 0 : 1;
}
