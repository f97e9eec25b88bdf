#include "client/documents/tdokievads.h"

#include "client/core/clientformat.h"
#include "client/core/clientstate.h"
#include "client/core/documentkinds.h"
#include "client/core/tclientdatamodule.h"
#include "client/documents/tdokievadspreces.h"
#include "client/widgets/datasetlistview.h"
#include "client/widgets/focuslater.h"
#include "client/widgets/searchedit.h"
#include "client/widgets/touchlook.h"
#include "common/showmessage.h"

#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolButton>

namespace {

constexpr int kWidth = 355;
constexpr int kHeight = 605;
constexpr int kMargin = 8;
constexpr int kInner = kWidth - 2 * kMargin - 4;

const QString kSection = QStringLiteral("DokIevads");
const QString kDepartmentKey = QStringLiteral("Isnodala");

// Where the kinds' buttons sit in their group: two columns, three rows.
QRect kindButtonPlace(int order)
{
    return QRect(10 + (order / 3) * 166, 26 + (order % 3) * 34, 160, 32);
}

} // namespace

TDokIevads::TDokIevads(TClientDataModule& module, GoodsInfo& goods, QWidget* owner)
    : TouchForm(owner, QStringLiteral("DokIevads"), QStringLiteral("Pasūtījumu reģistrācija"),
                QSize(kWidth, kHeight)),
      m_data(module), m_module(module), m_goods(goods)
{
    m_lbTitle = makeTitle(QStringLiteral("lbTitle"), KindInfo(kAllDocumentKinds[0]).headerTitle,
                          QRect(kMargin, 4, kWidth - 2 * kMargin, 36));
    m_tabs = makeTabs(QStringLiteral("tabLappuses"), QRect(0, 42, kWidth, kHeight - 42), 45);
    buildDataTab();
    buildListTab();
    FormCreate();
}

TDokIevads::~TDokIevads()
{
    rememberCombo(m_cmbNodala, kSection, kDepartmentKey);
}

void TDokIevads::buildDataTab()
{
    m_tabDati = addPage(m_tabs, QStringLiteral("tabDati"), QStringLiteral("Dati"));
    QWidget* page = m_tabDati;

    m_lbNumurs = makeLabel(QStringLiteral("lbNumurs"), QStringLiteral("Numurs"),
                           QRect(kMargin, 6, 190, 24), 16, page);
    m_edPZ_Numurs = makeSearchEdit(QStringLiteral("edPZ_Numurs"), QStringLiteral("btJaunsNumurs"),
                                   QRect(kMargin, 30, 190, 42), 20, page);
    makeLabel(QStringLiteral("lbDatums"), QStringLiteral("Datums"), QRect(206, 6, 135, 24), 16,
              page);
    m_edDatums = makeEdit(QStringLiteral("edDatums"), QRect(206, 30, 135, 42), 18, page);
    m_edDatums->setInputMethodHints(Qt::ImhPreferNumbers | Qt::ImhDate);

    m_lbNodalaNo = makeLabel(QStringLiteral("lbNodalaNo"), QStringLiteral("Nodaļa"),
                             QRect(kMargin, 78, kInner, 24), 16, page);
    m_cmbNodala = makeCombo(QStringLiteral("cmbNodala"), QRect(kMargin, 102, kInner, 40), 18, page);

    m_lbKlientsNodala = makeLabel(QStringLiteral("lbKlientsNodala"), QStringLiteral("Klients :"),
                                  QRect(kMargin, 148, kInner, 24), 16, page);
    m_edKlientuAtlase =
        makeSearchEdit(QStringLiteral("edKlientuAtlase"), QStringLiteral("btKlientiSearch"),
                       QRect(kMargin, 172, kInner, 42), 20, page);
    m_cmbKlients =
        makeCombo(QStringLiteral("cmbKlients"), QRect(kMargin, 220, kInner, 40), 18, page);

    m_grpKind = new QGroupBox(QStringLiteral("Dokumenta veids"), page);
    m_grpKind->setObjectName(QStringLiteral("grpDokumentaVeids"));
    m_grpKind->setFont(TouchLook::font(16));
    m_grpKind->setGeometry(scaled(QRect(kMargin, 266, kInner, 132)));
    int order = 0;
    for (DocumentKind kind : kAllDocumentKinds) {
        const DocumentKindInfo& info = KindInfo(kind);
        QRadioButton* button = makeRadioButton(info.radioButton, info.caption,
                                               kindButtonPlace(order++), 16, m_grpKind);
        m_kindButtons.insert(kind, button);
        // The first kind is checked at design time, before any change is heard.
        button->setChecked(kind == kAllDocumentKinds[0]);
        wire(button, &QRadioButton::toggled, this, [this, button, kind] {
            if (button->isChecked())
                rdKindChange(kind);
        });
    }

    m_btSave = makeButton(QStringLiteral("btSave"), QStringLiteral("Saglabāt/Preces"),
                          QRect(kMargin, 408, 200, 52), 18, page);
    m_btClose = makeButton(QStringLiteral("btClose"), QStringLiteral("Aizvērt"),
                           QRect(kWidth - kMargin - 4 - 120, 408, 120, 52), 18, page);

    typingField(m_edPZ_Numurs, m_module);
    typingField(m_edKlientuAtlase, m_module);
    onKeyDown(m_edPZ_Numurs, &TDokIevads::edPZ_NumursKeyDown);
    onKeyDown(m_edKlientuAtlase, &TDokIevads::edKlientuAtlaseKeyDown);
    onClick(m_edKlientuAtlase->searchButton(), &TDokIevads::btKlientiSearchClick);
    onClick(m_edPZ_Numurs->searchButton(), &TDokIevads::btJaunsNumursClick);
    onClick(m_btSave, &TDokIevads::btSaveClick);
    onClick(m_btClose, &TDokIevads::btCloseClick);
}

void TDokIevads::buildListTab()
{
    m_tabSaraksts = addPage(m_tabs, QStringLiteral("tabSaraksts"), QStringLiteral("Saraksts"));
    QWidget* page = m_tabSaraksts;
    makeLabel(QStringLiteral("lbPeriods"), QStringLiteral("Periods"), QRect(kMargin, 6, kInner, 24),
              16, page);
    m_dtDatNo = makeDateEdit(QStringLiteral("dtDatNo"), QRect(kMargin, 30, 166, 42), 18, page);
    m_dtDatLidz = makeDateEdit(QStringLiteral("dtDatLidz"), QRect(180, 30, 163, 42), 18, page);
    m_lstPavadzimes = new DataSetListView(m_module.cdsPavadzimes(), DocumentListItem(), page);
    m_lstPavadzimes->setObjectName(QStringLiteral("lstPavadzimes"));
    m_lstPavadzimes->setGeometry(0, 80, kWidth - 4, kHeight - 42 - 49 - 84);

    onTabClick(m_tabs, m_tabSaraksts, &TDokIevads::tabSarakstsClick);
    wire(m_dtDatNo, &QDateEdit::dateChanged, this, [this] { RefreshDocumentList(); });
    wire(m_dtDatLidz, &QDateEdit::dateChanged, this, [this] { RefreshDocumentList(); });
    wire(m_lstPavadzimes, &DataSetListView::buttonClicked, this,
         [this] { lstPavadzimesButtonClick(); });
}

void TDokIevads::FormCreate()
{
    m_edDatums->setText(ClientFormat::dateToText(QDate::currentDate()));
    m_tabs->setCurrentWidget(m_tabDati);
}

QWidget* TDokIevads::btJaunsNumurs() const
{
    return m_edPZ_Numurs->searchButton();
}

QWidget* TDokIevads::btKlientiSearch() const
{
    return m_edKlientuAtlase->searchButton();
}

DocumentKind TDokIevads::checkedKind() const
{
    for (auto it = m_kindButtons.cbegin(); it != m_kindButtons.cend(); ++it) {
        if (it.value()->isChecked())
            return it.key();
    }
    return kAllDocumentKinds[0];
}

void TDokIevads::FormShow()
{
    // The period follows today at every showing; the list itself is read
    // when the user asks for it.
    setPeriodToToday(m_dtDatNo, m_dtDatLidz);
    if (m_cmbNodala->count() == 0)
        fillRememberedCombo(m_cmbNodala, m_data.LoadDepartments(), kSection, kDepartmentKey);
    applyRights();
    btJaunsNumurs()->hide();
    if (m_tabs->currentWidget() == m_tabSaraksts)
        RefreshDocumentList();
}

void TDokIevads::applyRights()
{
    // The first kind, checked at design time, gives way to the next one the
    // user may use; a kind that needs no right is never chosen for the user.
    const ClientState& state = m_module.clientState();
    const DocumentKind first = kAllDocumentKinds[0];
    if (!MayUseKind(state, first)) {
        m_kindButtons[first]->setEnabled(false);
        for (DocumentKind kind : kAllDocumentKinds) {
            if (kind != first && KindInfo(kind).right && MayUseKind(state, kind)) {
                m_kindButtons[kind]->setChecked(true);
                break;
            }
        }
    }
    for (DocumentKind kind : kAllDocumentKinds) {
        if (kind != first)
            m_kindButtons[kind]->setEnabled(MayUseKind(state, kind));
    }
}

void TDokIevads::FormActivate()
{
    FocusLater(m_edPZ_Numurs);
}

bool TDokIevads::edPZ_NumursKeyDown(QKeyEvent& key)
{
    if (!isReturn(key) && !isDown(key))
        return false;
    m_edDatums->setFocus();
    return true;
}

bool TDokIevads::edKlientuAtlaseKeyDown(QKeyEvent& key)
{
    if (!isReturn(key))
        return false;
    btKlientiSearchClick();
    return true;
}

void TDokIevads::btKlientiSearchClick()
{
    m_cmbKlients->setFocus();
    SearchCounterparties(true);
    m_cmbKlients->showPopup();
}

void TDokIevads::SearchCounterparties(bool open)
{
    fillCombo(m_cmbKlients,
              m_data.SearchCounterparties(checkedKind(), m_edKlientuAtlase->text(), open));
}

void TDokIevads::rdKindChange(DocumentKind kind)
{
    ClearHeaderFields();
    m_lbTitle->setText(KindInfo(kind).headerTitle);
    ApplyKindLayout(kind);
}

void TDokIevads::ClearHeaderFields()
{
    m_edPZ_Numurs->clear();
    m_edKlientuAtlase->clear();
    m_cmbKlients->setCurrentIndex(-1);
}

void TDokIevads::ApplyKindLayout(DocumentKind kind)
{
    SearchCounterparties(false);
    for (QWidget* control :
         {static_cast<QWidget*>(m_lbNumurs), static_cast<QWidget*>(m_edPZ_Numurs),
          static_cast<QWidget*>(m_edDatums)})
        control->show();
    const DocumentKindInfo& info = KindInfo(kind);
    m_lbNodalaNo->setText(info.departmentCaption);
    if (!info.counterpartyCaption.isEmpty())
        m_lbKlientsNodala->setText(info.counterpartyCaption);
    if (!info.hasHeader()) {
        m_lbNumurs->hide();
        m_edPZ_Numurs->hide();
        m_edDatums->hide();
    }
    m_edKlientuAtlase->setVisible(info.counterparty == Counterparty::Client);
    m_lbKlientsNodala->setVisible(info.counterparty != Counterparty::None);
    m_cmbKlients->setVisible(info.counterparty != Counterparty::None);
    btJaunsNumurs()->setVisible(info.proposesNumber);
}

void TDokIevads::btJaunsNumursClick()
{
    const Outcome<QString> proposal =
        m_data.ProposeNumber(checkedKind(), m_cmbNodala->currentIndex());
    if (proposal.refused())
        return refuse(proposal.refusal());
    if (!proposal.result().isEmpty())
        m_edPZ_Numurs->setText(proposal.result());
}

void TDokIevads::btSaveClick()
{
    DocumentHeader::Input input;
    input.kind = checkedKind();
    input.number = m_edPZ_Numurs->text();
    input.dateText = m_edDatums->text();
    input.departmentIndex = m_cmbNodala->currentIndex();
    input.counterpartyIndex = m_cmbKlients->currentIndex();
    const Outcome<DocumentContext> saved = m_data.Save(input);
    if (saved.refused())
        return refuse(saved.refusal());
    // The lines window is made once, with this window as its owner, and
    // works with what this window was given.
    if (!m_dokIevadsPreces)
        m_dokIevadsPreces = new TDokIevadsPreces(m_module, m_goods, this);
    m_dokIevadsPreces->ShowDocument(saved.result());
}

TDokIevadsPreces* TDokIevads::dokIevadsPreces() const
{
    return m_dokIevadsPreces;
}

void TDokIevads::btCloseClick()
{
    close();
}

void TDokIevads::tabSarakstsClick()
{
    RefreshDocumentList();
}

void TDokIevads::RefreshDocumentList()
{
    const Outcome<> listed =
        m_data.RefreshDocumentList(checkedKind(), m_dtDatNo->date(), m_dtDatLidz->date());
    if (listed.refused())
        refuse(listed.refusal());
}

void TDokIevads::lstPavadzimesButtonClick()
{
    const int row = m_lstPavadzimes->selectedRow();
    if (row < 0)
        return;
    const DocumentKind kind = checkedKind();
    const std::optional<DocumentHeader::Picked> picked =
        m_data.PickDocument(kind, m_lstPavadzimes->itemText(row));
    if (!picked)
        return;
    m_edPZ_Numurs->setText(picked->number);
    m_edDatums->setText(picked->dateText);
    m_cmbNodala->setCurrentIndex(picked->departmentIndex);
    const Counterparty counterparty = KindInfo(kind).counterparty;
    if (counterparty != Counterparty::None) {
        if (counterparty == Counterparty::Client)
            m_edKlientuAtlase->setText(picked->clientSearch);
        fillCombo(m_cmbKlients, m_data.counterparties());
        m_cmbKlients->setCurrentIndex(picked->counterpartyIndex);
    }
    m_tabs->setCurrentWidget(m_tabDati);
}
