// Pictures of the document windows for the documentation:
//
//     norvalk_document_screenshots DIR
//
// starts NorvalkServer on a fresh demo database, works through a receiving
// and an inventory as a person would, and writes header.png, header-list.png,
// lines-receiving.png, lines-inventory.png, lines-list.png and delete.png
// into DIR. Run it on a real display (Xvfb will do).

#include "datasetlistview.h"
#include "guiapplication.h"
#include "searchedit.h"
#include "tdokievads.h"
#include "tdokievadspreces.h"
#include "tnorvalkmain.h"
#include "tvaidzestierakstu.h"
#include "windowfixture.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <cstdio>

namespace {

bool save(QWidget* window, const QDir& folder, const QString& name)
{
    WindowFixture::activate(window);
    QTest::qWait(300);
    const QString path = folder.filePath(name);
    if (!window->grab().save(path))
        return false;
    std::printf("%s\n", qPrintable(path));
    return true;
}

void clickTab(QTabWidget* tabs, QWidget* page)
{
    QTabBar* bar = tabs->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tabs->indexOf(page)).center());
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

} // namespace

int main(int argc, char** argv)
{
    GuiApplication application(argc, argv);
    GuiApplication::setApplicationDisplayName(QStringLiteral("Norvalk"));
    if (argc != 2) {
        std::fprintf(stderr, "usage: norvalk_document_screenshots DIR\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(folder.path()))
        return 1;
    WindowFixture fixture;
    const QString error = fixture.startServer();
    if (!error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    TNorvalkMain* main = fixture.openMainWindow();
    fixture.runMenuCommand(main->btDokumenti());
    TDokIevads* header = DokIevads;
    if (!header)
        return 1;
    header->cmbNodala()->setCurrentIndex(
        header->cmbNodala()->findText(QStringLiteral("Veikals \"Centrs\" Rīgā")));
    header->edKlientuAtlase()->setFocus();
    WindowFixture::scan(header->edKlientuAtlase(), QStringLiteral("Piena"));
    header->cmbKlients()->hidePopup();
    header->cmbKlients()->setCurrentIndex(0);
    header->edPZ_Numurs()->setText(QStringLiteral("R-2026/12"));
    bool ok = save(header, folder, QStringLiteral("header.png"));

    QTest::mouseClick(header->btSave(), Qt::LeftButton);
    TDokIevadsPreces* lines = DokIevadsPreces;
    if (!lines)
        return 1;
    scanLine(lines, QStringLiteral("4750000000011"), QStringLiteral("12"));
    scanLine(lines, QStringLiteral("4750000000080"), QStringLiteral("2"));
    scanLine(lines, QStringLiteral("2212345012345"), QStringLiteral("1,234"));
    scanLine(lines, QStringLiteral("4750000000028"), QString());
    ok = ok && save(lines, folder, QStringLiteral("lines-receiving.png"));
    clickTab(lines->tabLappuses(), lines->tabSaraksts());
    ok = ok && save(lines, folder, QStringLiteral("lines-list.png"));
    DataSetListView* list = lines->lstPreces();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->buttonRect(1).center());
    if (lines->deleteConfirmation())
        ok = ok && save(lines->deleteConfirmation(), folder, QStringLiteral("delete.png"));
    lines->deleteConfirmation()->close();
    lines->close();

    WindowFixture::activate(header);
    clickTab(header->tabs(), header->tabSaraksts());
    header->dtDatNo()->setDate(QDate(2024, 1, 1));
    ok = ok && save(header, folder, QStringLiteral("header-list.png"));

    clickTab(header->tabs(), header->tabDati());
    header->kindButton(DocumentKind::Inventory)->click();
    header->edPZ_Numurs()->setText(QStringLiteral("INV-7"));
    QTest::mouseClick(header->btSave(), Qt::LeftButton);
    scanLine(lines, QStringLiteral("4750000000011"), QString());
    ok = ok && save(lines, folder, QStringLiteral("lines-inventory.png"));
    return ok ? 0 : 1;
}
