#include "client/goods/tprecudati.h"

#include "client/core/clientformat.h"
#include "client/core/datasetmodel.h"
#include "client/core/findgoods.h"
#include "client/core/goodsinfo.h"
#include "client/core/tclientdatamodule.h"
#include "client/widgets/focuslater.h"
#include "client/widgets/searchedit.h"
#include "client/widgets/touchlook.h"
#include "common/showmessage.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>

namespace {

constexpr int kMargin = 8;
constexpr int kInnerWidth = TouchForm::DefaultSize.width() - 2 * kMargin;
constexpr int kCaptionWidth = 60;
constexpr int kFieldX = kMargin + kCaptionWidth + 2;
constexpr int kFieldWidth = kInnerWidth - kCaptionWidth - 2;
const QSize kButtonSize(150, 48);
constexpr int kButtonsTop = 514;

// The fifteen sale prices: three columns of five, top to bottom.
constexpr int kPriceRows = 5;
constexpr int kPriceColumnWidth = 110;
constexpr int kPriceRowHeight = 37;

const QString kSection = QStringLiteral("PrecuDati");
const QString kDepartmentKey = QStringLiteral("Isnodala");
const QString kZero = QStringLiteral("0.000");

constexpr int kPromotionColumnWidths[] = {100, 100, 80};

QString quantityText(double value)
{
    return ClientFormat::formatFloat(kZero, value);
}

} // namespace

TPrecuDati::TPrecuDati(TClientDataModule& module, GoodsInfo& goods, QWidget* owner)
    : TouchForm(owner, QStringLiteral("PrecuDati"), QStringLiteral("Preču dati")), m_data(module),
      m_module(module), m_goods(goods)
{

    m_tabs = makeTabs(QStringLiteral("tabs"), rect());
    buildDati();
    buildJaunaPrece();
    buildAkcijas();

    onKeyDown(m_edArtikuls, &TPrecuDati::edArtikulsKeyDown);
    onExit(m_edArtikuls, &TPrecuDati::edArtikulsExit);
    onClick(m_edArtikuls->searchButton(), &TPrecuDati::SearchEditButton1Click);
    onClick(m_btOK, &TPrecuDati::btOKClick);
    onClick(m_btClose, &TPrecuDati::btCloseClick);
    wire(m_cmbNodala, &QComboBox::currentIndexChanged, this, [this] { cmbNodalaChange(); });
    // The drop-down list is a window of its own; it closing is the close-up.
    m_cmbNodala->view()->window()->installEventFilter(this);
    onTabClick(m_tabs, m_tabAkcijas, &TPrecuDati::tabAkcijasClick);
    onKeyDown(m_edNewArtikuls, &TPrecuDati::edNewArtikulsKeyDown);
    onKeyDown(m_edNewGnos, &TPrecuDati::edNewGnosKeyDown);
    onKeyDown(m_edNewPVN, &TPrecuDati::edNewPVNKeyDown);
    onExit(m_edNewArtikuls, &TPrecuDati::edNewArtikulsExit);
    typingField(m_edNewGnos, m_module);
    onClick(m_btNewSave, &TPrecuDati::btNewSaveClick);
    onClick(m_btNewClose, &TPrecuDati::btCloseClick);

    FormCreate();
}

TPrecuDati::~TPrecuDati()
{
    rememberCombo(m_cmbNodala, kSection, kDepartmentKey);
}

void TPrecuDati::buildDati()
{
    m_tabDati = addPage(m_tabs, QStringLiteral("tabDati"), QStringLiteral("Dati"));
    QWidget* page = m_tabDati;

    makeLabel(QStringLiteral("lbArtikuls"), QStringLiteral("Artikuls"),
              QRect(kMargin, 4, kInnerWidth, 24), 16, page);
    m_edArtikuls = makeSearchEdit(QStringLiteral("edArtikuls"), QStringLiteral("SearchEditButton1"),
                                  QRect(kMargin, 28, kInnerWidth, 44), 20, page);
    m_lbPrece = makeLabel(QStringLiteral("lbPrece"), QStringLiteral("Prece ..."),
                          QRect(kMargin, 76, kInnerWidth, 44), 16, page);
    m_lbPrece->setWordWrap(true);

    makeLabel(QStringLiteral("lbMervieniba"), QStringLiteral("Mērv."),
              QRect(kMargin, 126, kCaptionWidth, 34), 16, page);
    m_edMervieniba =
        makeShownValue(QStringLiteral("edMervieniba"), QRect(kFieldX, 124, 100, 36), 16, page);
    makeLabel(QStringLiteral("lbNodala"), QStringLiteral("Nod."),
              QRect(kMargin, 168, kCaptionWidth, 34), 16, page);
    m_cmbNodala =
        makeCombo(QStringLiteral("cmbNodala"), QRect(kFieldX, 166, kFieldWidth, 36), 16, page);
    makeLabel(QStringLiteral("lbAtlikums"), QStringLiteral("Atlik."),
              QRect(kMargin, 210, kCaptionWidth, 34), 16, page);
    m_shAtlikums =
        makeShownValue(QStringLiteral("shAtlikums"), QRect(kFieldX, 208, 120, 36), 16, page);
    m_shAtlikums->setText(quantityText(0));

    m_gbPardCenas = new QGroupBox(QStringLiteral("Pārdošanas cenas ar PVN"), page);
    m_gbPardCenas->setObjectName(QStringLiteral("gbPardCenas"));
    m_gbPardCenas->setFont(TouchLook::font(14));
    m_gbPardCenas->setGeometry(kMargin, 250, kInnerWidth, 214);
    for (int n = 1; n <= GoodsData::ShownPrices; ++n) {
        const int x = 8 + (n - 1) / kPriceRows * kPriceColumnWidth;
        const int y = 26 + (n - 1) % kPriceRows * kPriceRowHeight;
        QLabel* label = makeLabel(QStringLiteral("lbPardCena%1").arg(n), QString::number(n),
                                  QRect(x, y, 24, 34), 14, m_gbPardCenas);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        QLineEdit* price = makeShownValue(QStringLiteral("shPardCena%1").arg(n),
                                          QRect(x + 26, y, 78, 34), 15, m_gbPardCenas);
        price->setText(quantityText(0));
        m_lbPardCena[n - 1] = label;
        m_shPardCena[n - 1] = price;
    }

    makeLabel(QStringLiteral("lbGrupa"), QStringLiteral("Grupa"),
              QRect(kMargin, 472, kCaptionWidth, 34), 16, page);
    m_shGrupa =
        makeShownValue(QStringLiteral("shGrupa"), QRect(kFieldX, 470, kFieldWidth, 36), 16, page);

    m_btOK = makeButton(QStringLiteral("btOK"), QStringLiteral("OK"),
                        QRect(QPoint(kMargin, kButtonsTop), kButtonSize), 20, page);
    m_btClose = makeButton(
        QStringLiteral("btClose"), QStringLiteral("Aizvērt"),
        QRect(QPoint(kMargin + kInnerWidth - kButtonSize.width(), kButtonsTop), kButtonSize), 20,
        page);
}

void TPrecuDati::buildJaunaPrece()
{
    m_tabJaunaPrece =
        addPage(m_tabs, QStringLiteral("tabJaunaPrece"), QStringLiteral("Jauna prece"));
    QWidget* page = m_tabJaunaPrece;

    makeLabel(QStringLiteral("lbNewArtikuls"), QStringLiteral("Artikuls"),
              QRect(kMargin, 10, kInnerWidth, 26), 18, page);
    m_edNewArtikuls =
        makeEdit(QStringLiteral("edNewArtikuls"), QRect(kMargin, 36, kInnerWidth, 44), 20, page);
    makeLabel(QStringLiteral("lbNewGnos"), QStringLiteral("Nosaukums :"),
              QRect(kMargin, 92, kInnerWidth, 26), 18, page);
    m_edNewGnos =
        makeEdit(QStringLiteral("edNewGnos"), QRect(kMargin, 118, kInnerWidth, 44), 20, page);
    makeLabel(QStringLiteral("lbNewPVN"), QStringLiteral("PVN"), QRect(kMargin, 174, 120, 26), 18,
              page);
    m_edNewPVN = makeEdit(QStringLiteral("edNewPVN"), QRect(kMargin, 200, 120, 44), 20, page);
    m_edNewPVN->setInputMethodHints(Qt::ImhFormattedNumbersOnly | Qt::ImhNoPredictiveText);

    m_btNewSave = makeButton(QStringLiteral("btNewSave"), QStringLiteral("Saglabāt"),
                             QRect(QPoint(kMargin, kButtonsTop), kButtonSize), 20, page);
    m_btNewClose = makeButton(
        QStringLiteral("btNewClose"), QStringLiteral("Aizvērt"),
        QRect(QPoint(kMargin + kInnerWidth - kButtonSize.width(), kButtonsTop), kButtonSize), 20,
        page);
}

void TPrecuDati::buildAkcijas()
{
    m_tabAkcijas = addPage(m_tabs, QStringLiteral("tabAkcijas"), QStringLiteral("Akcijas"));

    m_grdAkcijas = new QTableView(m_tabAkcijas);
    m_grdAkcijas->setObjectName(QStringLiteral("grdAkcijas"));
    m_grdAkcijas->setFont(TouchLook::font(16));
    m_grdAkcijas->setGeometry(kMargin, kMargin, kInnerWidth, kButtonsTop + kButtonSize.height());
    m_grdAkcijas->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grdAkcijas->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grdAkcijas->verticalHeader()->hide();
    auto* model = new DataSetModel(m_data.promotions(), m_grdAkcijas);
    m_grdAkcijas->setModel(model);
    // The columns come with the rows: widths are set again at every refill.
    connect(model, &QAbstractItemModel::modelReset, this, [this] { setGridColumnWidths(); });
}

void TPrecuDati::setGridColumnWidths()
{
    const int columns = m_grdAkcijas->model()->columnCount();
    for (int column = 0; column < columns && column < int(std::size(kPromotionColumnWidths));
         ++column)
        m_grdAkcijas->setColumnWidth(column, kPromotionColumnWidths[column]);
}

void TPrecuDati::FormCreate()
{
    m_tabs->setCurrentWidget(m_tabDati);
}

void TPrecuDati::FormShow()
{
    const ClientState& state = m_module.clientState();
    m_btNewSave->setEnabled(state.RightNewGoods);
    for (int n = 1; n <= GoodsData::ShownPrices; ++n) {
        const bool shown = !GoodsData::PriceForbidden(state.UserForbiddenPrices, n);
        m_lbPardCena[n - 1]->setVisible(shown);
        m_shPardCena[n - 1]->setVisible(shown);
    }
    // Choosing the remembered department is no change by the user: the
    // stock follows the user's choices and the goods looked up.
    if (m_cmbNodala->count() == 0)
        fillRememberedCombo(m_cmbNodala, m_data.LoadDepartments(), kSection, kDepartmentKey);
    FocusLater(m_edArtikuls);
}

bool TPrecuDati::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Hide && watched == m_cmbNodala->view()->window())
        RunHandler([this] { cmbNodalaClosePopup(); });
    return TouchForm::eventFilter(watched, event);
}

bool TPrecuDati::edArtikulsKeyDown(QKeyEvent& key)
{
    if (!isReturn(key))
        return false;
    m_btOK->setFocus(); // leaving the field looks the article up
    return true;
}

void TPrecuDati::edArtikulsExit()
{
    lookUpArticle();
}

void TPrecuDati::SearchEditButton1Click()
{
    // With the focus in the field, moving it on is the look-up (the field is
    // left); looking up here as well would ask, and report, twice.
    if (!m_edArtikuls->hasFocus())
        lookUpArticle();
    m_btOK->setFocus();
}

void TPrecuDati::lookUpArticle()
{
    if (m_edArtikuls->text().isEmpty())
        return;
    applyScaleBarcodeRule(m_module.clientState(), m_edArtikuls);
    GoodsInfo& found = m_goods;
    if (!m_data.LookUp(found, m_edArtikuls->text())) {
        ShowMessage(GoodsNotFoundMessage(m_edArtikuls->text()));
        return;
    }
    m_lbPrece->setText(found.Name);
    m_shGrupa->setText(found.GroupName);
    m_edMervieniba->setText(found.Unit);
    for (int n = 1; n <= GoodsData::ShownPrices; ++n)
        m_shPardCena[n - 1]->setText(quantityText(found.SalePrices.at(n - 1)));
    refreshStock();
}

void TPrecuDati::refreshStock()
{
    const std::optional<double> stock = m_data.Stock(m_goods, m_cmbNodala->currentIndex());
    m_shAtlikums->setText(stock ? quantityText(*stock) : QString());
}

void TPrecuDati::btOKClick()
{
    for (QLineEdit* field :
         {static_cast<QLineEdit*>(m_edArtikuls), m_edMervieniba, m_shGrupa, m_shAtlikums})
        field->clear();
    m_lbPrece->clear();
    m_edArtikuls->setFocus();
}

void TPrecuDati::btCloseClick()
{
    close();
}

void TPrecuDati::cmbNodalaChange()
{
    refreshStock();
}

void TPrecuDati::cmbNodalaClosePopup()
{
    m_edArtikuls->setFocus();
}

void TPrecuDati::tabAkcijasClick()
{
    m_data.OpenPromotions(m_goods, m_cmbNodala->currentIndex());
}

bool TPrecuDati::edNewArtikulsKeyDown(QKeyEvent& key)
{
    if (!isReturn(key) && !isDown(key))
        return false;
    FocusLater(m_edNewGnos);
    return true;
}

bool TPrecuDati::edNewGnosKeyDown(QKeyEvent& key)
{
    if (!isReturn(key) && !isDown(key))
        return false;
    FocusLater(m_edNewPVN);
    return true;
}

bool TPrecuDati::edNewPVNKeyDown(QKeyEvent& key)
{
    if (!isReturn(key))
        return false;
    btNewSaveClick();
    return true;
}

void TPrecuDati::edNewArtikulsExit()
{
    if (m_edNewArtikuls->text().isEmpty())
        return;
    applyScaleBarcodeRule(m_module.clientState(), m_edNewArtikuls);
    const Outcome<> checked = m_data.CheckNewArticle(m_edNewArtikuls->text());
    if (checked.refused())
        refuse(checked.refusal());
}

void TPrecuDati::btNewSaveClick()
{
    const Outcome<qint32> saved =
        m_data.SaveNewGoods(m_edNewArtikuls->text(), m_edNewGnos->text(), m_edNewPVN->text());
    if (saved.refused())
        return refuse(saved.refusal());
    if (m_edNewPVN->text().isEmpty())
        m_edNewPVN->setText(QStringLiteral("0"));
    m_edNewArtikuls->clear();
    m_edNewGnos->clear();
    FocusLater(m_edNewArtikuls);
}
