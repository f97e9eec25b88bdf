#pragma once

#include "client/core/receivingcheck.h"
#include "client/widgets/touchform.h"

class TClientDataModule;
struct GoodsInfo;
class QDateEdit;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class SearchEdit;

// The receiving and transfer check: at the goods-in door the user names the
// waybills (or transfer documents) and their period, scans an article and
// types the quantity counted; "Saglabāt" books the count onto the matching
// lines as checked quantity, warns when it differs from what the documents
// still expect, and notes an article that is on none of them in the first
// document. After each check the article and quantity are cleared for the
// next scan; the numbers, period and kind stay.
class TSanemsanasParbaude final : public TouchForm
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TSanemsanasParbaude)

public:
    TSanemsanasParbaude(TClientDataModule& module, GoodsInfo& goods, QWidget* owner);

    QLabel* lbParbaudesVeids() const { return m_lbParbaudesVeids; }
    QLineEdit* edPZ_Numuri() const { return m_edPZ_Numuri; }
    QDateEdit* dtDatNo() const { return m_dtDatNo; }
    QDateEdit* dtDatLidz() const { return m_dtDatLidz; }
    SearchEdit* edArtikuls() const { return m_edArtikuls; }
    QLineEdit* edDaudzums() const { return m_edDaudzums; }
    QLabel* lbPrece() const { return m_lbPrece; }
    QLabel* lbPardCena() const { return m_lbPardCena; }
    QRadioButton* rdSanemsana() const { return m_rdSanemsana; }
    QRadioButton* rdParvietosana() const { return m_rdParvietosana; }
    QPushButton* btSave() const { return m_btSave; }
    QPushButton* btClose() const { return m_btClose; }
    QLabel* lbStatusBar() const { return m_lbStatusBar; }

protected:
    void FormShow() override;
    void FormActivate() override;

private:
    bool edPZ_NumuriKeyDown(QKeyEvent& key);
    bool edArtikulsKeyDown(QKeyEvent& key);
    bool edDaudzumsKeyDown(QKeyEvent& key);
    void edArtikulsExit();
    void SearchEditButton1Click();
    void rdKindClick();
    void btSaveClick();
    void btCloseClick();

    void preview();

    ReceivingCheck m_data;

    QLabel* m_lbParbaudesVeids = nullptr;
    QLineEdit* m_edPZ_Numuri = nullptr;
    QDateEdit* m_dtDatNo = nullptr;
    QDateEdit* m_dtDatLidz = nullptr;
    SearchEdit* m_edArtikuls = nullptr;
    QLineEdit* m_edDaudzums = nullptr;
    QLabel* m_lbPrece = nullptr;
    QLabel* m_lbPardCena = nullptr;
    QGroupBox* m_gbParbaudesVeids = nullptr;
    QRadioButton* m_rdSanemsana = nullptr;
    QRadioButton* m_rdParvietosana = nullptr;
    QPushButton* m_btSave = nullptr;
    QPushButton* m_btClose = nullptr;
    QLabel* m_lbStatusBar = nullptr;
    TClientDataModule& m_module;
    GoodsInfo& m_goods;
};
