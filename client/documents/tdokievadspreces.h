#pragma once

#include "client/core/documentlines.h"
#include "client/widgets/touchform.h"

class DataSetListView;
class TClientDataModule;
struct GoodsInfo;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class SearchEdit;
class TNoraiditasRindas;
class TVaiDzestIerakstu;
class QTimer;

// The document lines window: the user scans an article, the goods are
// looked up when the field is left and the number fields pre-filled for the
// kind; Return on the quantity saves the line (DocumentLines). The second
// tab lists the document's lines, each with a button that deletes it after
// a confirmation.
//
// Made once by the header window and reused: ShowDocument hands it the next
// document, and opening it runs the kind's set-up again.
class TDokIevadsPreces final : public TouchForm
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TDokIevadsPreces)

public:
    enum class Layout
    {
        ForScreen, // the large one on a screen of at least 1080 x 1920
        Small,
        Large,
    };

    TDokIevadsPreces(TClientDataModule& module, GoodsInfo& goods, QWidget* owner,
                     Layout layout = Layout::ForScreen);

    // Works on that document from now on, and opens the window.
    void ShowDocument(const DocumentContext& context);
    DocumentLines& data() { return m_data; }
    bool isLargeLayout() const { return m_large; }

    QLabel* lbTitle() const { return m_lbTitle; }
    QTabWidget* tabLappuses() const { return m_tabLappuses; }
    QWidget* tabDati() const { return m_tabDati; }
    QWidget* tabSaraksts() const { return m_tabSaraksts; }
    SearchEdit* edArtikuls() const { return m_edArtikuls; }
    QLabel* lbPrece() const { return m_lbPrece; }
    QLineEdit* edDaudzums() const { return m_edDaudzums; }
    QLabel* lbAtlaide() const { return m_lbAtlaide; }
    QLineEdit* edAtlaide() const { return m_edAtlaide; }
    QLabel* lbIepCena() const { return m_lbIepCena; }
    QLineEdit* edCena() const { return m_edCena; }
    QLabel* lbPardCena() const { return m_lbPardCena; }
    QLineEdit* edPardCena() const { return m_edPardCena; }
    QLabel* lbSertif() const { return m_lbSertif; }
    QComboBox* cmbSertifikats() const { return m_cmbSertifikats; }
    QPushButton* btSave() const { return m_btSave; }
    QPushButton* btClose() const { return m_btClose; }
    DataSetListView* lstPreces() const { return m_lstPreces; }
    QLabel* lbPavadzimesSumma() const { return m_lbPavadzimesSumma; }
    TVaiDzestIerakstu* deleteConfirmation() const { return m_vaiDzestIerakstu; }
    QLabel* lbSavienojums() const { return m_lbSavienojums; }
    QPushButton* btNoraiditas() const { return m_btNoraiditas; }
    TNoraiditasRindas* refusedLines() const { return m_noraiditasRindas; }
    // Sends what the queue holds now (the timer does so every few seconds).
    void SendQueuedLines();

protected:
    void FormShow() override;
    void FormActivate() override;

private:
    void FormCreate();
    void buildDataTab();
    void buildListTab();

    void edArtikulsExit();
    void SearchEditButton1Click();
    bool edArtikulsKeyDown(QKeyEvent& key);
    bool edDaudzumsKeyDown(QKeyEvent& key);
    bool edAtlaideKeyDown(QKeyEvent& key);
    bool edCenaKeyDown(QKeyEvent& key);
    bool edPardCenaKeyDown(QKeyEvent& key);
    void btSaveClick();
    void btCloseClick();
    void tabSarakstsClick();
    void lstPrecesButtonClick();
    void btNoraiditasClick();

    // The connection's state as the worker sees it: connected, or how many
    // lines wait; the tone when the server is lost and when the last
    // waiting line has gone.
    void ShowConnectionState(bool unreachable);

    void RefreshLines(bool full);
    void resetAfterSave(const DocumentLines::Saved& saved);

    DocumentLines m_data;
    DocumentContext m_pending;
    std::optional<QString> m_lookedUp; // the article text last looked up, unedited since
    bool m_large = false;
    QLabel* m_lbTitle = nullptr;
    QTabWidget* m_tabLappuses = nullptr;
    QWidget* m_tabDati = nullptr;
    QWidget* m_tabSaraksts = nullptr;
    SearchEdit* m_edArtikuls = nullptr;
    QLabel* m_lbPrece = nullptr;
    QLineEdit* m_edDaudzums = nullptr;
    QLabel* m_lbAtlaide = nullptr;
    QLineEdit* m_edAtlaide = nullptr;
    QLabel* m_lbIepCena = nullptr;
    QLineEdit* m_edCena = nullptr;
    QLabel* m_lbPardCena = nullptr;
    QLineEdit* m_edPardCena = nullptr;
    QLabel* m_lbSertif = nullptr;
    QComboBox* m_cmbSertifikats = nullptr;
    QPushButton* m_btSave = nullptr;
    QPushButton* m_btClose = nullptr;
    DataSetListView* m_lstPreces = nullptr;
    QLabel* m_lbPavadzimesSumma = nullptr;
    TVaiDzestIerakstu* m_vaiDzestIerakstu = nullptr;
    QLabel* m_lbSavienojums = nullptr;
    QPushButton* m_btNoraiditas = nullptr;
    TNoraiditasRindas* m_noraiditasRindas = nullptr;
    QTimer* m_tmSutit = nullptr;
    bool m_unreachable = false;
    int m_waiting = 0;
    TClientDataModule& m_module;
    GoodsInfo& m_goods;
};
