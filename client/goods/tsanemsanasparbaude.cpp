#include "client/goods/tsanemsanasparbaude.h"

#include "client/core/findgoods.h"
#include "client/core/goodsinfo.h"
#include "client/core/tclientdatamodule.h"
#include "client/widgets/searchedit.h"
#include "client/widgets/touchlook.h"
#include "common/showmessage.h"

#include <QDateEdit>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

namespace {

constexpr int kMargin = 8;
constexpr int kInnerWidth = TouchForm::DefaultSize.width() - 2 * kMargin;
constexpr int kDateWidth = (kInnerWidth - 10) / 2;
const QSize kButtonSize(150, 48);

const QString kReceiving = QStringLiteral("Saņemšanas pārbaude");
const QString kTransfer = QStringLiteral("Pārvietošanas pārbaude");

} // namespace

TSanemsanasParbaude::TSanemsanasParbaude(TClientDataModule& module, GoodsInfo& goods,
                                         QWidget* owner)
    : TouchForm(owner, QStringLiteral("SanemsanasParbaude"), kReceiving), m_data(module),
      m_module(module), m_goods(goods)
{

    m_lbParbaudesVeids = makeTitle(QStringLiteral("lbParbaudesVeids"), kReceiving,
                                   QRect(kMargin, 6, kInnerWidth, 34));
    m_lbParbaudesVeids->setFont(TouchLook::font(20, true));
    makeLabel(QStringLiteral("lbPZ_Numuri"), QStringLiteral("P/Z numuri"),
              QRect(kMargin, 44, kInnerWidth, 24), 16);
    m_edPZ_Numuri = makeEdit(QStringLiteral("edPZ_Numuri"), QRect(kMargin, 68, kInnerWidth, 44));
    m_edPZ_Numuri->setText(QStringLiteral("2-02.05"));
    makeLabel(QStringLiteral("lbPeriods"), QStringLiteral("Periods"),
              QRect(kMargin, 116, kInnerWidth, 24), 16);
    m_dtDatNo = makeDateEdit(QStringLiteral("dtDatNo"), QRect(kMargin, 140, kDateWidth, 40));
    m_dtDatLidz = makeDateEdit(QStringLiteral("dtDatLidz"),
                               QRect(kMargin + kInnerWidth - kDateWidth, 140, kDateWidth, 40));
    makeLabel(QStringLiteral("lbArtikuls"), QStringLiteral("Artikuls"),
              QRect(kMargin, 186, kInnerWidth, 24), 16);
    m_edArtikuls = makeSearchEdit(QStringLiteral("edArtikuls"), QStringLiteral("SearchEditButton1"),
                                  QRect(kMargin, 210, kInnerWidth, 44));
    makeLabel(QStringLiteral("lbDaudzums"), QStringLiteral("Daudz."), QRect(kMargin, 262, 80, 40),
              16);
    m_edDaudzums = makeEdit(QStringLiteral("edDaudzums"), QRect(90, 260, 150, 44));
    m_edDaudzums->setInputMethodHints(Qt::ImhFormattedNumbersOnly | Qt::ImhNoPredictiveText);
    makeLabel(QStringLiteral("lbPreceCaption"), QStringLiteral("Prece :"),
              QRect(kMargin, 310, 70, 24), 16);
    m_lbPrece = makeLabel(QStringLiteral("lbPrece"), QStringLiteral("Prece ..."),
                          QRect(78, 308, kInnerWidth - 70, 48), 16);
    m_lbPrece->setWordWrap(true);
    m_lbPrece->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_lbPardCena = makeLabel(QStringLiteral("lbPardCena"), QStringLiteral("Pārd.c. :"),
                             QRect(kMargin, 358, kInnerWidth, 26), 16);

    m_gbParbaudesVeids = new QGroupBox(QStringLiteral("Pārbaudes veids"), this);
    m_gbParbaudesVeids->setObjectName(QStringLiteral("gbParbaudesVeids"));
    m_gbParbaudesVeids->setFont(TouchLook::font(14));
    m_gbParbaudesVeids->setGeometry(kMargin, 388, kInnerWidth, 104);
    m_rdSanemsana = makeRadioButton(QStringLiteral("rdSanemsana"), kReceiving,
                                    QRect(10, 24, kInnerWidth - 20, 36), 18, m_gbParbaudesVeids);
    m_rdParvietosana = makeRadioButton(QStringLiteral("rdParvietosana"), kTransfer,
                                       QRect(10, 62, kInnerWidth - 20, 36), 18, m_gbParbaudesVeids);
    m_rdSanemsana->setChecked(true);

    m_btSave = makeButton(QStringLiteral("btSave"), QStringLiteral("Saglabāt"),
                          QRect(QPoint(kMargin, 502), kButtonSize), 20);
    m_btClose = makeButton(
        QStringLiteral("btClose"), QStringLiteral("Aizvērt"),
        QRect(QPoint(kMargin + kInnerWidth - kButtonSize.width(), 502), kButtonSize), 20);
    m_lbStatusBar = makeStatusLine();

    onKeyDown(m_edPZ_Numuri, &TSanemsanasParbaude::edPZ_NumuriKeyDown);
    onKeyDown(m_edArtikuls, &TSanemsanasParbaude::edArtikulsKeyDown);
    onKeyDown(m_edDaudzums, &TSanemsanasParbaude::edDaudzumsKeyDown);
    onExit(m_edArtikuls, &TSanemsanasParbaude::edArtikulsExit);
    onClick(m_edArtikuls->searchButton(), &TSanemsanasParbaude::SearchEditButton1Click);
    onClick(m_rdSanemsana, &TSanemsanasParbaude::rdKindClick);
    onClick(m_rdParvietosana, &TSanemsanasParbaude::rdKindClick);
    onClick(m_btSave, &TSanemsanasParbaude::btSaveClick);
    onClick(m_btClose, &TSanemsanasParbaude::btCloseClick);
}

void TSanemsanasParbaude::FormShow()
{
    setPeriodToToday(m_dtDatNo, m_dtDatLidz);
}

void TSanemsanasParbaude::FormActivate()
{
    m_edPZ_Numuri->setFocus();
}

bool TSanemsanasParbaude::edPZ_NumuriKeyDown(QKeyEvent& key)
{
    if (!isReturn(key))
        return false;
    m_edArtikuls->setFocus();
    return true;
}

bool TSanemsanasParbaude::edArtikulsKeyDown(QKeyEvent& key)
{
    if (!isReturn(key))
        return false;
    m_edDaudzums->setFocus(); // leaving the field shows the goods
    return true;
}

bool TSanemsanasParbaude::edDaudzumsKeyDown(QKeyEvent& key)
{
    if (!isReturn(key))
        return false;
    btSaveClick();
    return true;
}

void TSanemsanasParbaude::edArtikulsExit()
{
    preview();
}

void TSanemsanasParbaude::SearchEditButton1Click()
{
    // From the field itself, moving on is the preview (the field is left).
    if (!m_edArtikuls->hasFocus())
        preview();
    m_edDaudzums->setFocus();
}

void TSanemsanasParbaude::preview()
{
    GoodsInfo& goods = m_goods;
    if (!m_data.Preview(goods, m_edArtikuls->text())) {
        if (!m_edArtikuls->text().isEmpty())
            ShowMessage(GoodsNotFoundMessage(m_edArtikuls->text()));
        return;
    }
    m_lbPrece->setText(goods.Name);
    m_lbPardCena->setText(ReceivingCheck::PriceText(goods));
}

void TSanemsanasParbaude::rdKindClick()
{
    m_lbParbaudesVeids->setText(m_rdParvietosana->isChecked() ? kTransfer : kReceiving);
}

void TSanemsanasParbaude::btSaveClick()
{
    const CheckKind kind =
        m_rdParvietosana->isChecked() ? CheckKind::Transfer : CheckKind::Receiving;
    const Outcome<ReceivingCheck::Result> checked =
        m_data.Check(m_goods, kind, m_edPZ_Numuri->text(), m_dtDatNo->date(), m_dtDatLidz->date(),
                     m_edArtikuls->text(), m_edDaudzums->text());
    if (checked.refused())
        return refuse(checked.refusal());
    const ReceivingCheck::Result& result = checked.result();
    if (!result.warning.isEmpty())
        ShowMessage(result.warning);
    m_lbStatusBar->setText(result.status);
    if (!result.notice.isEmpty())
        ShowMessage(result.notice);
    // Ready for the next scan.
    m_edArtikuls->clear();
    m_lbPrece->clear();
    m_edDaudzums->clear();
    m_edArtikuls->setFocus();
}

void TSanemsanasParbaude::btCloseClick()
{
    close();
}
