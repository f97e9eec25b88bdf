#pragma once

#include "client/core/documentcontext.h"
#include "client/core/operations3d.h"
#include "client/widgets/touchform.h"

#include <QList>

class DataSetListView;
class TClientDataModule;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class SearchEdit;

// The 3D operations screen, where goods are to be placed into storage
// places per document: a document kind, the documents of that kind in a
// period (in the document list's dataset, cdsPavadzimes, which the document
// header window lists too) and the placement fields. Placing itself has no
// behaviour yet: "Saglabāt", the placement fields and the list's "Izvēle"
// change nothing.
class TOperacijas_3D final : public TouchForm
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TOperacijas_3D)

public:
    TOperacijas_3D(TClientDataModule& module, QWidget* owner);

    // The kinds this window offers (those with a header row), in the order
    // of their radio buttons.
    static const QList<DocumentKind> Kinds;

    QTabWidget* tabs() const { return m_tabs; }
    QWidget* tabDati() const { return m_tabDati; }
    QWidget* tabSaraksts() const { return m_tabSaraksts; }
    QLabel* lbTitle() const { return m_lbTitle; }
    QLabel* lbStatusBar() const { return m_lbStatusBar; }
    // The radio button of a kind, in the order of Kinds.
    QRadioButton* rdKind(int index) const { return m_rdKinds.at(index); }
    SearchEdit* edArtikuls() const { return m_edArtikuls; }
    QLabel* lbPrece() const { return m_lbPrece; }
    QLabel* lbNovietot() const { return m_lbNovietot; }
    QLineEdit* shAtlikums() const { return m_shAtlikums; }
    SearchEdit* Edit2() const { return m_Edit2; }
    QPushButton* btSave() const { return m_btSave; }
    QPushButton* btClose() const { return m_btClose; }
    QDateEdit* dtDatNo() const { return m_dtDatNo; }
    QDateEdit* dtDatLidz() const { return m_dtDatLidz; }
    DataSetListView* lstPavadzimes() const { return m_lstPavadzimes; }

    DocumentKind checkedKind() const;

protected:
    void FormShow() override;

private:
    void FormCreate();
    void buildDati();
    void buildSaraksts();

    void rdKindChange();
    void tabSarakstsClick();
    void dtDatChange();
    void btSaveClick();
    void btCloseClick();

    void refreshList();

    QTabWidget* m_tabs = nullptr;
    QWidget* m_tabDati = nullptr;
    QWidget* m_tabSaraksts = nullptr;
    QLabel* m_lbTitle = nullptr;
    QLabel* m_lbStatusBar = nullptr;
    QGroupBox* m_gbDokumentaVeids = nullptr;
    QList<QRadioButton*> m_rdKinds;
    SearchEdit* m_edArtikuls = nullptr;
    QLabel* m_lbPrece = nullptr;
    QLabel* m_lbNovietot = nullptr;
    QLineEdit* m_shAtlikums = nullptr;
    SearchEdit* m_Edit2 = nullptr;
    QPushButton* m_btSave = nullptr;
    QPushButton* m_btClose = nullptr;
    QDateEdit* m_dtDatNo = nullptr;
    QDateEdit* m_dtDatLidz = nullptr;
    DataSetListView* m_lstPavadzimes = nullptr;
    Operations3D m_data;
};
