#include "client/goods/toperacijas_3d.h"

#include "client/core/clientformat.h"
#include "client/core/documentkinds.h"
#include "client/widgets/datasetlistview.h"
#include "client/widgets/focuslater.h"
#include "client/widgets/searchedit.h"
#include "client/widgets/touchlook.h"

#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

namespace {

constexpr int kMargin = 8;
constexpr int kInnerWidth = TouchForm::DefaultSize.width() - 2 * kMargin;
constexpr int kStatusHeight = 34;
const QSize kButtonSize(150, 48);

QList<DocumentKind> offeredKinds()
{
    QList<DocumentKind> kinds;
    for (DocumentKind kind : kAllDocumentKinds) {
        if (!KindInfo(kind).operationsCaption.isEmpty())
            kinds << kind;
    }
    return kinds;
}

} // namespace

const QList<DocumentKind> TOperacijas_3D::Kinds = offeredKinds();

TOperacijas_3D::TOperacijas_3D(TClientDataModule& module, QWidget* owner)
    : TouchForm(owner, QStringLiteral("Operacijas_3D"), QStringLiteral("3D operācijas")),
      m_data(module)
{
    m_tabs = makeTabs(QStringLiteral("tabs"), QRect(0, 0, width(), height() - kStatusHeight));
    buildDati();
    buildSaraksts();
    m_lbStatusBar = makeStatusLine();

    for (QRadioButton* kind : m_rdKinds)
        wire(kind, &QRadioButton::toggled, this, [this] { rdKindChange(); });
    onTabClick(m_tabs, m_tabSaraksts, &TOperacijas_3D::tabSarakstsClick);
    wire(m_dtDatNo, &QDateEdit::dateChanged, this, [this] { dtDatChange(); });
    wire(m_dtDatLidz, &QDateEdit::dateChanged, this, [this] { dtDatChange(); });
    onClick(m_btSave, &TOperacijas_3D::btSaveClick);
    onClick(m_btClose, &TOperacijas_3D::btCloseClick);

    FormCreate();
}

void TOperacijas_3D::buildDati()
{
    m_tabDati = addPage(m_tabs, QStringLiteral("tabDati"), QStringLiteral("Dati"));
    QWidget* page = m_tabDati;

    m_lbTitle = makeTitle(QStringLiteral("lbTitle"), KindInfo(Kinds.first()).operationsCaption,
                          QRect(kMargin, 4, kInnerWidth, 34), page);
    m_lbTitle->setFont(TouchLook::font(20, true));

    m_gbDokumentaVeids = new QGroupBox(QStringLiteral("Dokumenta veids"), page);
    m_gbDokumentaVeids->setObjectName(QStringLiteral("gbDokumentaVeids"));
    m_gbDokumentaVeids->setFont(TouchLook::font(14));
    m_gbDokumentaVeids->setGeometry(kMargin, 40, kInnerWidth, 142);
    for (int index = 0; index < int(Kinds.size()); ++index) {
        const QRect where(index % 2 == 0 ? 10 : 172, 22 + index / 2 * 38, 160, 36);
        const DocumentKindInfo& info = KindInfo(Kinds.at(index));
        m_rdKinds << makeRadioButton(info.radioButton, info.operationsCaption, where, 17,
                                     m_gbDokumentaVeids);
    }
    m_rdKinds[0]->setChecked(true);

    makeLabel(QStringLiteral("lbArtikuls"), QStringLiteral("Artikuls"),
              QRect(kMargin, 188, kInnerWidth, 24), 16, page);
    m_edArtikuls = makeSearchEdit(QStringLiteral("edArtikuls"), QStringLiteral("SearchEditButton1"),
                                  QRect(kMargin, 212, kInnerWidth, 44), 20, page);
    m_lbPrece = makeLabel(QStringLiteral("lbPrece"), QStringLiteral("Prece ..."),
                          QRect(kMargin, 260, kInnerWidth, 36), 16, page);
    m_lbNovietot = makeLabel(QStringLiteral("lbNovietot"), QStringLiteral("Vieta "),
                             QRect(kMargin, 298, kInnerWidth, 28), 16, page);
    makeLabel(QStringLiteral("lbDaudzums"), QStringLiteral("Daudz."), QRect(kMargin, 332, 80, 38),
              16, page);
    m_shAtlikums = makeShownValue(QStringLiteral("shAtlikums"), QRect(90, 330, 120, 40), 18, page);
    m_shAtlikums->setText(ClientFormat::formatFloat(QStringLiteral("0.000"), 0));
    makeLabel(QStringLiteral("lbNovietots"), QStringLiteral("Novietots"),
              QRect(kMargin, 376, kInnerWidth, 24), 16, page);
    m_Edit2 = makeSearchEdit(QStringLiteral("Edit2"), QStringLiteral("SearchEditButton2"),
                             QRect(kMargin, 400, kInnerWidth, 44), 20, page);

    m_btSave = makeButton(QStringLiteral("btSave"), QStringLiteral("Saglabāt"),
                          QRect(QPoint(kMargin, 470), kButtonSize), 20, page);
    m_btClose = makeButton(
        QStringLiteral("btClose"), QStringLiteral("Aizvērt"),
        QRect(QPoint(kMargin + kInnerWidth - kButtonSize.width(), 470), kButtonSize), 20, page);
}

void TOperacijas_3D::buildSaraksts()
{
    m_tabSaraksts = addPage(m_tabs, QStringLiteral("tabSaraksts"), QStringLiteral("Saraksts"));
    QWidget* page = m_tabSaraksts;

    makeLabel(QStringLiteral("lbPeriods"), QStringLiteral("Periods"),
              QRect(kMargin, 4, kInnerWidth, 24), 16, page);
    const int dateWidth = (kInnerWidth - 10) / 2;
    m_dtDatNo =
        makeDateEdit(QStringLiteral("dtDatNo"), QRect(kMargin, 28, dateWidth, 40), 18, page);
    m_dtDatLidz =
        makeDateEdit(QStringLiteral("dtDatLidz"),
                     QRect(kMargin + kInnerWidth - dateWidth, 28, dateWidth, 40), 18, page);
    m_lstPavadzimes = new DataSetListView(m_data.documents(), DocumentListItem(), page);
    m_lstPavadzimes->setObjectName(QStringLiteral("lstPavadzimes"));
    m_lstPavadzimes->setGeometry(kMargin, 76, kInnerWidth, 446);
    // Picking a document places nothing yet: "Izvēle" has no behaviour.
}

void TOperacijas_3D::FormCreate()
{
    m_tabs->setCurrentWidget(m_tabDati);
}

void TOperacijas_3D::FormShow()
{
    // Setting the period is not the user changing it: the list is read once,
    // and only when it is on view.
    setPeriodToToday(m_dtDatNo, m_dtDatLidz);
    if (m_tabs->currentWidget() == m_tabSaraksts)
        refreshList();
    FocusLater(m_edArtikuls);
}

DocumentKind TOperacijas_3D::checkedKind() const
{
    for (int index = 0; index < int(Kinds.size()); ++index) {
        if (m_rdKinds[index]->isChecked())
            return Kinds[index];
    }
    return Kinds[0];
}

void TOperacijas_3D::rdKindChange()
{
    for (int index = 0; index < int(Kinds.size()); ++index) {
        if (m_rdKinds[index]->isChecked())
            m_lbTitle->setText(KindInfo(Kinds.at(index)).operationsCaption);
    }
}

void TOperacijas_3D::tabSarakstsClick()
{
    refreshList();
}

void TOperacijas_3D::dtDatChange()
{
    refreshList();
}

void TOperacijas_3D::refreshList()
{
    m_data.RefreshList(checkedKind(), m_dtDatNo->date(), m_dtDatLidz->date());
}

void TOperacijas_3D::btSaveClick()
{
    // What placing goods should record is not defined yet: nothing is saved.
}

void TOperacijas_3D::btCloseClick()
{
    close();
}
