#pragma once

#include "client/core/documentheader.h"
#include "client/widgets/touchform.h"

#include <QMap>
#include <QPointer>

class DataSetListView;
class TClientDataModule;
struct GoodsInfo;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class SearchEdit;
class TDokIevadsPreces;

// The document header window: the user picks the kind, department,
// counterparty, number and date of a document and presses "Saglabāt/Preces";
// the header row is found or created (DocumentHeader) and the lines window
// opens on it. The second tab lists the documents of the chosen kind for a
// period, to pick one and go on with it.
//
// Owns the lines window, made on the first save. Remembers the chosen
// department in the settings file when it is destroyed.
class TDokIevads final : public TouchForm
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TDokIevads)

public:
    TDokIevads(TClientDataModule& module, GoodsInfo& goods, QWidget* owner);
    ~TDokIevads() override;

    DocumentKind checkedKind() const;
    DocumentHeader& data() { return m_data; }
    // The lines window it opened; null until the first saved header.
    TDokIevadsPreces* dokIevadsPreces() const;

    QLabel* lbTitle() const { return m_lbTitle; }
    QTabWidget* tabs() const { return m_tabs; }
    QWidget* tabDati() const { return m_tabDati; }
    QWidget* tabSaraksts() const { return m_tabSaraksts; }
    QLabel* lbNumurs() const { return m_lbNumurs; }
    SearchEdit* edPZ_Numurs() const { return m_edPZ_Numurs; }
    QWidget* btJaunsNumurs() const;
    QLineEdit* edDatums() const { return m_edDatums; }
    QLabel* lbNodalaNo() const { return m_lbNodalaNo; }
    QComboBox* cmbNodala() const { return m_cmbNodala; }
    QLabel* lbKlientsNodala() const { return m_lbKlientsNodala; }
    SearchEdit* edKlientuAtlase() const { return m_edKlientuAtlase; }
    QWidget* btKlientiSearch() const;
    QComboBox* cmbKlients() const { return m_cmbKlients; }
    QPushButton* btSave() const { return m_btSave; }
    QPushButton* btClose() const { return m_btClose; }
    QRadioButton* kindButton(DocumentKind kind) const { return m_kindButtons.value(kind); }
    QDateEdit* dtDatNo() const { return m_dtDatNo; }
    QDateEdit* dtDatLidz() const { return m_dtDatLidz; }
    DataSetListView* lstPavadzimes() const { return m_lstPavadzimes; }

protected:
    void FormShow() override;
    void FormActivate() override;

private:
    void FormCreate();
    void buildDataTab();
    void buildListTab();

    bool edPZ_NumursKeyDown(QKeyEvent& key);
    bool edKlientuAtlaseKeyDown(QKeyEvent& key);
    void btKlientiSearchClick();
    void rdKindChange(DocumentKind kind);
    void btJaunsNumursClick();
    void btSaveClick();
    void btCloseClick();
    void tabSarakstsClick();
    void lstPavadzimesButtonClick();

    void ClearHeaderFields();
    void ApplyKindLayout(DocumentKind kind);
    void SearchCounterparties(bool open);
    void RefreshDocumentList();
    void applyRights();

    DocumentHeader m_data;
    QLabel* m_lbTitle = nullptr;
    QTabWidget* m_tabs = nullptr;
    QWidget* m_tabDati = nullptr;
    QWidget* m_tabSaraksts = nullptr;
    QLabel* m_lbNumurs = nullptr;
    SearchEdit* m_edPZ_Numurs = nullptr;
    QLineEdit* m_edDatums = nullptr;
    QLabel* m_lbNodalaNo = nullptr;
    QComboBox* m_cmbNodala = nullptr;
    QLabel* m_lbKlientsNodala = nullptr;
    SearchEdit* m_edKlientuAtlase = nullptr;
    QComboBox* m_cmbKlients = nullptr;
    QPushButton* m_btSave = nullptr;
    QPushButton* m_btClose = nullptr;
    QGroupBox* m_grpKind = nullptr;
    QMap<DocumentKind, QRadioButton*> m_kindButtons;
    QDateEdit* m_dtDatNo = nullptr;
    QDateEdit* m_dtDatLidz = nullptr;
    DataSetListView* m_lstPavadzimes = nullptr;
    TClientDataModule& m_module;
    GoodsInfo& m_goods;
    QPointer<TDokIevadsPreces> m_dokIevadsPreces;
};
