#include "client/goods/tpiegadesapstiprinasana.h"

#include "client/core/tclientdatamodule.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr int kMargin = 8;
constexpr int kInnerWidth = TouchForm::DefaultSize.width() - 2 * kMargin;
const QSize kButtonSize(150, 48);

} // namespace

TPiegadesApstiprinasana::TPiegadesApstiprinasana(TClientDataModule& module, QWidget* owner)
    : TouchForm(owner, QStringLiteral("PiegadesApstiprinasana"),
                QStringLiteral("Saņemšanas pārbaude")),
      m_data(module), m_module(module)
{

    m_lbTitle = makeTitle(QStringLiteral("lbTitle"), QStringLiteral("Piegādes apstiprinājums"),
                          QRect(kMargin, 14, kInnerWidth, 64));
    makeLabel(QStringLiteral("lbQR_Kods"), QStringLiteral("QR kods"),
              QRect(kMargin, 100, kInnerWidth, 28));
    m_edQR_Kods = makeEdit(QStringLiteral("edQR_Kods"), QRect(kMargin, 130, kInnerWidth, 46));
    m_btSave = makeButton(QStringLiteral("btSave"), QStringLiteral("Saglabāt"),
                          QRect(QPoint(kMargin, 200), kButtonSize), 20);
    m_btClose = makeButton(
        QStringLiteral("btClose"), QStringLiteral("Aizvērt"),
        QRect(QPoint(kMargin + kInnerWidth - kButtonSize.width(), 200), kButtonSize), 20);
    m_lbStatusBar = makeStatusLine();

    onKeyDown(m_edQR_Kods, &TPiegadesApstiprinasana::edQR_KodsKeyDown);
    onClick(m_btSave, &TPiegadesApstiprinasana::btSaveClick);
    onClick(m_btClose, &TPiegadesApstiprinasana::btCloseClick);
}

void TPiegadesApstiprinasana::FormActivate()
{
    m_edQR_Kods->setFocus();
}

bool TPiegadesApstiprinasana::edQR_KodsKeyDown(QKeyEvent& key)
{
    if (!isReturn(key))
        return false;
    btSaveClick();
    return true;
}

void TPiegadesApstiprinasana::btSaveClick()
{
    const Outcome<DeliveryConfirmation::Result> confirmed = m_data.Confirm(m_edQR_Kods->text());
    if (confirmed.refused())
        return refuse(confirmed.refusal());
    m_lbStatusBar->setText(confirmed.result().status);
    m_edQR_Kods->clear();
    m_edQR_Kods->setFocus();
}

void TPiegadesApstiprinasana::btCloseClick()
{
    close();
}
