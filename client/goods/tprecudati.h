#pragma once

#include "client/core/goodsdata.h"
#include "client/widgets/touchform.h"

#include <array>

class TClientDataModule;
struct GoodsInfo;
class QComboBox;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableView;
class SearchEdit;

// The goods-data window: at the shelf the user scans an article and sees its
// name, unit, group, the stock in the chosen department and the fifteen sale
// prices (less those the user may not see); a second tab makes new goods, a
// third lists the goods' promotions in the department.
//
// The goods shown are the main window's shared record, so stock and
// promotions follow the goods last found anywhere in the client. The chosen
// department is remembered in the settings file when the window goes.
class TPrecuDati final : public TouchForm
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TPrecuDati)

public:
    TPrecuDati(TClientDataModule& module, GoodsInfo& goods, QWidget* owner);
    ~TPrecuDati() override;

    QTabWidget* tabs() const { return m_tabs; }
    QWidget* tabDati() const { return m_tabDati; }
    QWidget* tabJaunaPrece() const { return m_tabJaunaPrece; }
    QWidget* tabAkcijas() const { return m_tabAkcijas; }
    SearchEdit* edArtikuls() const { return m_edArtikuls; }
    QLabel* lbPrece() const { return m_lbPrece; }
    QLineEdit* edMervieniba() const { return m_edMervieniba; }
    QComboBox* cmbNodala() const { return m_cmbNodala; }
    QLineEdit* shAtlikums() const { return m_shAtlikums; }
    QGroupBox* gbPardCenas() const { return m_gbPardCenas; }
    // Sale price field n, 1 to 15.
    QLineEdit* shPardCena(int n) const { return m_shPardCena.at(n - 1); }
    QLineEdit* shGrupa() const { return m_shGrupa; }
    QPushButton* btOK() const { return m_btOK; }
    QPushButton* btClose() const { return m_btClose; }
    QLineEdit* edNewArtikuls() const { return m_edNewArtikuls; }
    QLineEdit* edNewGnos() const { return m_edNewGnos; }
    QLineEdit* edNewPVN() const { return m_edNewPVN; }
    QPushButton* btNewSave() const { return m_btNewSave; }
    QTableView* grdAkcijas() const { return m_grdAkcijas; }

protected:
    void FormShow() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void buildDati();
    void buildJaunaPrece();
    void buildAkcijas();

    bool edArtikulsKeyDown(QKeyEvent& key);
    void edArtikulsExit();
    void SearchEditButton1Click();
    void btOKClick();
    void btCloseClick();
    void cmbNodalaChange();
    void cmbNodalaClosePopup();
    void tabAkcijasClick();
    bool edNewArtikulsKeyDown(QKeyEvent& key);
    bool edNewGnosKeyDown(QKeyEvent& key);
    bool edNewPVNKeyDown(QKeyEvent& key);
    void edNewArtikulsExit();
    void btNewSaveClick();

    void lookUpArticle();
    void refreshStock();
    void setGridColumnWidths();

    GoodsData m_data;

    QTabWidget* m_tabs = nullptr;
    QWidget* m_tabDati = nullptr;
    QWidget* m_tabJaunaPrece = nullptr;
    QWidget* m_tabAkcijas = nullptr;
    SearchEdit* m_edArtikuls = nullptr;
    QLabel* m_lbPrece = nullptr;
    QLineEdit* m_edMervieniba = nullptr;
    QComboBox* m_cmbNodala = nullptr;
    QLineEdit* m_shAtlikums = nullptr;
    QGroupBox* m_gbPardCenas = nullptr;
    std::array<QLabel*, GoodsData::ShownPrices> m_lbPardCena{};
    std::array<QLineEdit*, GoodsData::ShownPrices> m_shPardCena{};
    QLineEdit* m_shGrupa = nullptr;
    QPushButton* m_btOK = nullptr;
    QPushButton* m_btClose = nullptr;
    QLineEdit* m_edNewArtikuls = nullptr;
    QLineEdit* m_edNewGnos = nullptr;
    QLineEdit* m_edNewPVN = nullptr;
    QPushButton* m_btNewSave = nullptr;
    QPushButton* m_btNewClose = nullptr;
    QTableView* m_grdAkcijas = nullptr;
    TClientDataModule& m_module;
    GoodsInfo& m_goods;
};
