#include "client/documents/tdokievadspreces.h"

#include "client/core/clientformat.h"
#include "client/core/documentkinds.h"
#include "client/core/goodsinfo.h"
#include "client/core/tclientdatamodule.h"
#include "client/documents/tnoraiditasrindas.h"
#include "client/documents/tvaidzestierakstu.h"
#include "client/widgets/datasetlistview.h"
#include "client/widgets/errortone.h"
#include "client/widgets/focuslater.h"
#include "client/widgets/searchedit.h"
#include "client/widgets/touchlook.h"
#include "common/showmessage.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

namespace {

constexpr int kWidth = 355;
constexpr int kHeight = 605;
// How often lines kept on the terminal are offered to the server, and how
// many go in one turn (the window answers between turns).
constexpr int kSendInterval = 2000;
constexpr int kLinesPerRound = 20;
const QSize kLargeSize(1080, 1920);
const QSize kLargeList(1080, 1806);
constexpr int kMargin = 8;
constexpr int kLabelWidth = 108;
constexpr int kFieldX = 120;
constexpr int kFieldWidth = 227;
constexpr int kFieldHeight = 40;
constexpr int kTabBarHeight = 49;

bool screenFitsLargeLayout()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen && screen->size().width() >= kLargeSize.width() &&
           screen->size().height() >= kLargeSize.height();
}

bool largeLayout(TDokIevadsPreces::Layout layout)
{
    return layout == TDokIevadsPreces::Layout::Large ||
           (layout == TDokIevadsPreces::Layout::ForScreen && screenFitsLargeLayout());
}

ListItemLayout lineItem()
{
    ListItemLayout item;
    item.height = 110;
    item.fontSize = 16;
    // The name runs under the button's row, so it starts below the button.
    item.texts = {
        {QStringLiteral("ARTIKULS"), QRect(5, 5, 150, 25)},
        {QStringLiteral("PRECE"), QRect(5, 57, 333, 25)},
        {QStringLiteral("DAUDZUMS"), QRect(5, 82, 100, 25), Qt::AlignRight | Qt::AlignVCenter},
        {QStringLiteral("CENA"), QRect(125, 82, 100, 25), Qt::AlignRight | Qt::AlignVCenter}};
    item.button = QRect(205, 5, 100, 50);
    item.buttonCaption = QStringLiteral("Dzēst");
    return item;
}

} // namespace

TDokIevadsPreces::TDokIevadsPreces(TClientDataModule& module, GoodsInfo& goods, QWidget* owner,
                                   Layout layout)
    : TouchForm(owner, QStringLiteral("DokIevadsPreces"), QStringLiteral("Preču reģistrācija"),
                largeLayout(layout) ? kLargeSize : QSize(kWidth, kHeight)),
      m_data(module, goods), m_large(largeLayout(layout)), m_module(module), m_goods(goods)
{
    if (m_large)
        setDesignScale(double(kLargeSize.width()) / kWidth);

    m_tabLappuses = makeTabs(QStringLiteral("tabLappuses"), QRect(0, 42, kWidth, kHeight - 42 - 32),
                             kTabBarHeight - 4);
    m_lbTitle = makeTitle(QStringLiteral("lbTitle"), QStringLiteral("Saņemtās preces"),
                          QRect(kMargin, 4, kWidth - 2 * kMargin, 36));
    if (m_large) {
        // The large screen's list runs the window's height below the tabs:
        // the title rides beside the tabs.
        m_lbTitle->setParent(nullptr);
        m_tabLappuses->setCornerWidget(m_lbTitle, Qt::TopRightCorner);
        m_tabLappuses->setGeometry(0, 0, width(), height());
    }
    buildDataTab();
    buildListTab();
    m_lbPavadzimesSumma = makeLabel(QStringLiteral("lbPavadzimesSumma"), QStringLiteral("Summa :"),
                                    QRect(kMargin, kHeight - 30, kWidth - 2 * kMargin, 28));
    if (m_large)
        m_lbPavadzimesSumma->move(m_lbPavadzimesSumma->x(),
                                  height() - m_lbPavadzimesSumma->height() - 4);
    m_lbPavadzimesSumma->raise();
    FormCreate();
}

void TDokIevadsPreces::buildDataTab()
{
    m_tabDati = addPage(m_tabLappuses, QStringLiteral("tabDati"), QStringLiteral("Dati"));
    QWidget* page = m_tabDati;
    const auto row = [](int index) { return 122 + index * 46; };

    makeLabel(QStringLiteral("Label4"), QStringLiteral("Artikuls"), QRect(kMargin, 4, 200, 24), 18,
              page);
    m_edArtikuls = makeSearchEdit(QStringLiteral("edArtikuls"), QStringLiteral("SearchEditButton1"),
                                  QRect(kMargin, 28, kWidth - 2 * kMargin - 4, 44), 20, page);
    m_lbPrece = makeLabel(QStringLiteral("lbPrece"), QStringLiteral("Prece ..."),
                          QRect(kMargin, 74, 265, 46), 16, page);
    m_lbPrece->setWordWrap(true);

    const auto numberField = [&](const QString& label, const QString& caption, const QString& edit,
                                 int index, QLabel** labelOut) {
        QLabel* made = makeLabel(label, caption,
                                 QRect(kMargin, row(index), kLabelWidth, kFieldHeight), 18, page);
        made->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        if (labelOut)
            *labelOut = made;
        QLineEdit* field =
            makeEdit(edit, QRect(kFieldX, row(index), kFieldWidth, kFieldHeight), 20, page);
        field->setInputMethodHints(Qt::ImhFormattedNumbersOnly);
        return field;
    };
    m_edDaudzums = numberField(QStringLiteral("Label5"), QStringLiteral("Daudz."),
                               QStringLiteral("edDaudzums"), 0, nullptr);
    m_edAtlaide = numberField(QStringLiteral("lbAtlaide"), QStringLiteral("Atlaide"),
                              QStringLiteral("edAtlaide"), 1, &m_lbAtlaide);
    m_edCena = numberField(QStringLiteral("lbIepCena"), QStringLiteral("Iep.cena"),
                           QStringLiteral("edCena"), 2, &m_lbIepCena);
    m_edPardCena = numberField(QStringLiteral("lbPardCena"), QStringLiteral("Pārd.c."),
                               QStringLiteral("edPardCena"), 3, &m_lbPardCena);
    m_lbSertif = makeLabel(QStringLiteral("lbSertif"), QStringLiteral("Sertif."),
                           QRect(kMargin, row(4), kLabelWidth, kFieldHeight), 18, page);
    m_cmbSertifikats = makeCombo(QStringLiteral("cmbSertifikats"),
                                 QRect(kFieldX, row(4), kFieldWidth, kFieldHeight), 14, page);
    QFont fixed = m_cmbSertifikats->font();
    fixed.setStyleHint(QFont::Monospace);
    fixed.setFamily(QStringLiteral("DejaVu Sans Mono"));
    m_cmbSertifikats->setFont(fixed); // the items are columns of fixed width

    m_btSave = makeButton(QStringLiteral("btSave"), QStringLiteral("Saglabāt"),
                          QRect(kMargin, 368, 160, 52), 18, page);
    m_btClose = makeButton(QStringLiteral("btClose"), QStringLiteral("Aizvērt"),
                           QRect(kWidth - kMargin - 4 - 120, 368, 120, 52), 18, page);
    m_lbSavienojums = makeLabel(QStringLiteral("lbSavienojums"), QString(),
                                QRect(kMargin, 424, kWidth - 2 * kMargin - 4, 24), 14, page);
    m_btNoraiditas = makeButton(QStringLiteral("btNoraiditas"), QString(),
                                QRect(kMargin, 450, kWidth - 2 * kMargin - 4, 40), 16, page);
    m_btNoraiditas->hide();

    onExit(m_edArtikuls, &TDokIevadsPreces::edArtikulsExit);
    connect(m_edArtikuls, &QLineEdit::textEdited, this, [this] { m_lookedUp.reset(); });
    onClick(m_edArtikuls->searchButton(), &TDokIevadsPreces::SearchEditButton1Click);
    onKeyDown(m_edArtikuls, &TDokIevadsPreces::edArtikulsKeyDown);
    onKeyDown(m_edDaudzums, &TDokIevadsPreces::edDaudzumsKeyDown);
    onKeyDown(m_edAtlaide, &TDokIevadsPreces::edAtlaideKeyDown);
    onKeyDown(m_edCena, &TDokIevadsPreces::edCenaKeyDown);
    onKeyDown(m_edPardCena, &TDokIevadsPreces::edPardCenaKeyDown);
    // edDaudzumsEnter/Exit and the others': the keyboard pair.
    for (QLineEdit* field : {m_edDaudzums, m_edAtlaide, m_edCena, m_edPardCena})
        typingField(field, m_module);
    onClick(m_btSave, &TDokIevadsPreces::btSaveClick);
    onClick(m_btClose, &TDokIevadsPreces::btCloseClick);
    onClick(m_btNoraiditas, &TDokIevadsPreces::btNoraiditasClick);
}

void TDokIevadsPreces::buildListTab()
{
    m_tabSaraksts =
        addPage(m_tabLappuses, QStringLiteral("tabSaraksts"), QStringLiteral("Saraksts"));
    m_lstPreces = new DataSetListView(m_module.cdsPreces(), lineItem(), m_tabSaraksts);
    m_lstPreces->setObjectName(QStringLiteral("lstPreces"));
    if (m_large)
        m_lstPreces->setGeometry(QRect(QPoint(0, 0), kLargeList));
    else
        m_lstPreces->setGeometry(0, 0, kWidth - 4, kHeight - 42 - 32 - kTabBarHeight - 4);

    onTabClick(m_tabLappuses, m_tabSaraksts, &TDokIevadsPreces::tabSarakstsClick);
    wire(m_lstPreces, &DataSetListView::buttonClicked, this, [this] { lstPrecesButtonClick(); });
}

void TDokIevadsPreces::FormCreate()
{
    m_tabLappuses->setCurrentWidget(m_tabDati);
    // Lines kept while the server could not be reached go as soon as it
    // answers, without the worker doing anything.
    m_tmSutit = new QTimer(this);
    m_tmSutit->setObjectName(QStringLiteral("tmSutit"));
    m_tmSutit->setInterval(kSendInterval);
    wire(m_tmSutit, &QTimer::timeout, this, [this] { SendQueuedLines(); });
    m_tmSutit->start();
    wire(&m_module.SQLConnection1(), &ServerConnection::onlineChanged, this,
         [this] { SendQueuedLines(); });
}

void TDokIevadsPreces::ShowDocument(const DocumentContext& context)
{
    // Another document is scanned into from its first field.
    if (context.DocIsn != m_pending.DocIsn || context.DocKind != m_pending.DocKind)
        m_tabLappuses->setCurrentWidget(m_tabDati);
    m_pending = context;
    open();
}

void TDokIevadsPreces::FormShow()
{
    FocusLater(m_edArtikuls);
}

void TDokIevadsPreces::FormActivate()
{
    m_lookedUp.reset();
    const DocumentLines::KindSetup setup = m_data.Activate(m_pending);
    m_lbTitle->setText(setup.title);
    m_lbIepCena->setVisible(setup.priceVisible);
    m_edCena->setVisible(setup.priceVisible);
    if (!setup.priceLabel.isEmpty())
        m_lbIepCena->setText(setup.priceLabel);
    if (!setup.salePriceLabel.isEmpty())
        m_lbPardCena->setText(setup.salePriceLabel);
    m_lbAtlaide->setVisible(setup.discountVisible);
    m_edAtlaide->setVisible(setup.discountVisible);
    m_lbPardCena->setVisible(setup.salePriceVisible);
    m_edPardCena->setVisible(setup.salePriceVisible);
    m_edPardCena->setEnabled(setup.salePriceEnabled);
    m_lbSertif->setVisible(setup.certificateVisible);
    m_cmbSertifikats->setVisible(setup.certificateVisible);
    if (setup.discountText)
        m_edAtlaide->setText(*setup.discountText);
    if (setup.quantityText)
        m_edDaudzums->setText(*setup.quantityText);
    RefreshLines(false);
    ShowConnectionState(m_unreachable);
}

void TDokIevadsPreces::edArtikulsExit()
{
    // The search button looks the code up with the focus still in the field;
    // leaving it afterwards, the code unchanged, is not a second look-up
    // (nor a second "not found").
    if (m_lookedUp && *m_lookedUp == m_edArtikuls->text())
        return;
    const DocumentLines::LookedUp found = m_data.LookUp(m_edArtikuls->text(), m_edDaudzums->text());
    m_edArtikuls->setText(found.article);
    m_edDaudzums->setText(found.quantity);
    if (!found.article.isEmpty())
        m_lookedUp = found.article;
    if (!found.notice.isEmpty())
        ShowMessage(found.notice);
    if (!found.found)
        return; // the fields keep what they hold
    m_lbPrece->setText(found.name);
    if (found.salePrice)
        m_edPardCena->setText(*found.salePrice);
    if (found.price)
        m_edCena->setText(*found.price);
    if (found.prefilledQuantity)
        m_edDaudzums->setText(*found.prefilledQuantity);
    if (found.clearDiscount)
        m_edAtlaide->clear();
    if (KindInfo(m_data.context().DocKind).certificatesShown) {
        // Each item carries its certificate's key: the list and its keys
        // change together.
        m_cmbSertifikats->clear();
        for (const DocumentLines::Certificate& certificate : found.certificates)
            m_cmbSertifikats->addItem(certificate.text, certificate.isn);
        m_cmbSertifikats->setCurrentIndex(-1);
    }
}

void TDokIevadsPreces::SearchEditButton1Click()
{
    edArtikulsExit();
    FocusLater(m_edDaudzums);
}

bool TDokIevadsPreces::edArtikulsKeyDown(QKeyEvent& key)
{
    if (!isReturn(key) && !isDown(key))
        return false;
    FocusLater(m_edDaudzums); // leaving the field runs the look-up first
    return true;
}

bool TDokIevadsPreces::edDaudzumsKeyDown(QKeyEvent& key)
{
    if (isReturn(key)) {
        btSaveClick();
        return true;
    }
    if (isDown(key)) {
        FocusLater(m_edAtlaide->isHidden() ? m_edCena : m_edAtlaide);
        return true;
    }
    return false;
}

bool TDokIevadsPreces::edAtlaideKeyDown(QKeyEvent& key)
{
    if (!isReturn(key) && !isDown(key))
        return false;
    FocusLater(m_edCena);
    return true;
}

bool TDokIevadsPreces::edCenaKeyDown(QKeyEvent& key)
{
    if (!isReturn(key) && !isDown(key))
        return false;
    if (!m_edPardCena->isHidden() && m_edPardCena->isEnabled())
        FocusLater(m_edPardCena);
    else
        btSaveClick();
    return true;
}

bool TDokIevadsPreces::edPardCenaKeyDown(QKeyEvent& key)
{
    if (!isReturn(key) && !isDown(key))
        return false;
    btSaveClick();
    return true;
}

void TDokIevadsPreces::btSaveClick()
{
    DocumentLines::Entry entry;
    entry.article = m_edArtikuls->text();
    entry.quantity = m_edDaudzums->text();
    entry.discount = m_edAtlaide->text();
    entry.price = m_edCena->text();
    entry.salePrice = m_edPardCena->text();
    if (m_cmbSertifikats->currentIndex() >= 0)
        entry.certificateIsn = m_cmbSertifikats->currentData().toInt();
    QString article = entry.article;
    const Outcome<DocumentLines::Saved> saved = m_data.Save(entry, article);
    m_edArtikuls->setText(article);
    if (saved.refused()) {
        if (!saved.refusal().notice.isEmpty())
            ShowMessage(saved.refusal().notice);
        ShowMessage(saved.refusal().message);
        FocusLater(control(saved.refusal().field));
        return;
    }
    resetAfterSave(saved.result());
    // The saved line is already in the list the window holds, or waits to
    // be sent.
    m_lbPavadzimesSumma->setText(saved.result().total);
    // Kept with nothing waiting before it: the server could not be reached.
    ShowConnectionState(saved.result().queued && (m_unreachable || m_waiting == 0));
    FocusLater(m_edArtikuls);
}

void TDokIevadsPreces::SendQueuedLines()
{
    if (!isVisible() || m_data.QueuedCount() == 0)
        return;
    const bool unreachable = m_data.SendQueued(kLinesPerRound);
    m_lbPavadzimesSumma->setText(m_data.TotalText());
    ShowConnectionState(unreachable);
}

void TDokIevadsPreces::ShowConnectionState(bool unreachable)
{
    const int waiting = m_data.QueuedCount();
    if ((unreachable && !m_unreachable) || (waiting == 0 && m_waiting > 0))
        ErrorTone::play();
    m_unreachable = unreachable && waiting > 0;
    m_waiting = waiting;
    if (waiting == 0)
        m_lbSavienojums->setText(QStringLiteral("Savienots ar serveri"));
    else if (m_unreachable)
        m_lbSavienojums->setText(
            QStringLiteral("Nav savienojuma ar serveri; gaida: %1").arg(waiting));
    else
        m_lbSavienojums->setText(QStringLiteral("Sūta serverim; gaida: %1").arg(waiting));
    const int refused = int(m_data.RefusedLines().size());
    m_btNoraiditas->setText(QStringLiteral("Noraidītās rindas: %1").arg(refused));
    m_btNoraiditas->setVisible(refused > 0);
}

void TDokIevadsPreces::btNoraiditasClick()
{
    if (!m_noraiditasRindas) {
        m_noraiditasRindas = new TNoraiditasRindas(this, m_data);
        wire(m_noraiditasRindas, &TNoraiditasRindas::correct, this, [this] {
            const QueuedLine& line = m_noraiditasRindas->corrected();
            m_tabLappuses->setCurrentWidget(m_tabDati);
            m_edArtikuls->setText(line.article);
            m_lookedUp.reset();
            edArtikulsExit();
            m_edDaudzums->setText(
                ClientFormat::formatFloat(QStringLiteral("0.000"), line.quantity));
            FocusLater(m_edDaudzums);
        });
        wire(m_noraiditasRindas, &TouchForm::closed, this,
             [this] { ShowConnectionState(m_unreachable); });
    }
    m_noraiditasRindas->ShowRefused();
}

void TDokIevadsPreces::resetAfterSave(const DocumentLines::Saved& saved)
{
    m_edArtikuls->clear();
    m_lookedUp.reset();
    m_lbPrece->clear();
    m_cmbSertifikats->clear();
    m_edDaudzums->setText(saved.quantity);
    if (saved.clearDiscount)
        m_edAtlaide->clear();
    m_edCena->clear();
    m_edPardCena->clear();
}

void TDokIevadsPreces::btCloseClick()
{
    close();
}

void TDokIevadsPreces::tabSarakstsClick()
{
    m_lbPavadzimesSumma->setText(m_data.ShowList());
}

void TDokIevadsPreces::RefreshLines(bool full)
{
    m_lbPavadzimesSumma->setText(m_data.RefreshLines(full));
}

void TDokIevadsPreces::lstPrecesButtonClick()
{
    const int row = m_lstPreces->selectedRow();
    if (row < 0)
        return;
    const std::optional<DocumentLines::LocatedLine> line =
        m_data.LocateLine(m_lstPreces->itemText(row));
    if (!line)
        return;
    if (!m_vaiDzestIerakstu) {
        m_vaiDzestIerakstu = new TVaiDzestIerakstu(this, m_data);
        // The list already shows the document as it now is once the question
        // is answered: a deleted line has left it, and the total with it.
        wire(m_vaiDzestIerakstu, &TouchForm::closed, this,
             [this] { m_lbPavadzimesSumma->setText(m_data.TotalText()); });
    }
    m_vaiDzestIerakstu->Ask(*line);
}
