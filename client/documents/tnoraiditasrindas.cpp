#include "client/documents/tnoraiditasrindas.h"

#include "client/core/clientformat.h"
#include "client/widgets/touchlook.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

TNoraiditasRindas::TNoraiditasRindas(QWidget* owner, DocumentLines& lines)
    : TouchForm(owner, QStringLiteral("NoraiditasRindas"), QStringLiteral("Noraidītās rindas")),
      m_lines(lines)
{
    m_lbTitle = makeTitle(QStringLiteral("lbTitle"), QStringLiteral("Noraidītās rindas"),
                          QRect(8, 4, 339, 36));
    m_lstNoraiditas = new QListWidget(this);
    m_lstNoraiditas->setObjectName(QStringLiteral("lstNoraiditas"));
    m_lstNoraiditas->setGeometry(scaled(QRect(8, 44, 339, 440)));
    m_lstNoraiditas->setFont(TouchLook::font(scaledFont(14)));
    m_lstNoraiditas->setWordWrap(true);
    m_btLabot =
        makeButton(QStringLiteral("btLabot"), QStringLiteral("Labot"), QRect(8, 496, 105, 49), 18);
    m_btDzest = makeButton(QStringLiteral("btDzest"), QStringLiteral("Dzēst"),
                           QRect(125, 496, 105, 49), 18);
    m_btClose = makeButton(QStringLiteral("btClose"), QStringLiteral("Aizvērt"),
                           QRect(242, 496, 105, 49), 18);
    onClick(m_btLabot, &TNoraiditasRindas::btLabotClick);
    onClick(m_btDzest, &TNoraiditasRindas::btDzestClick);
    onClick(m_btClose, &TNoraiditasRindas::btCloseClick);
}

void TNoraiditasRindas::ShowRefused()
{
    fill();
    open();
}

void TNoraiditasRindas::fill()
{
    m_refused = m_lines.RefusedLines();
    m_lstNoraiditas->clear();
    for (const QueuedLine& line : m_refused) {
        const QString quantity = ClientFormat::formatFloat(QStringLiteral("0.000"), line.quantity);
        m_lstNoraiditas->addItem(QStringLiteral("%1  %2\n%3 x %4\n%5")
                                     .arg(line.article, line.documentNumber, line.goodsName,
                                          quantity, line.message.trimmed()));
    }
    m_lstNoraiditas->setCurrentRow(m_refused.isEmpty() ? -1 : 0);
}

QString TNoraiditasRindas::chosenIdentity() const
{
    const int row = m_lstNoraiditas->currentRow();
    return row >= 0 && row < m_refused.size() ? m_refused[row].identity : QString();
}

void TNoraiditasRindas::btLabotClick()
{
    const int row = m_lstNoraiditas->currentRow();
    if (row < 0 || row >= m_refused.size())
        return;
    m_corrected = m_refused[row];
    m_lines.DropRefused(m_corrected.identity);
    emit correct();
    close();
}

void TNoraiditasRindas::btDzestClick()
{
    const QString identity = chosenIdentity();
    if (identity.isEmpty())
        return;
    m_lines.DropRefused(identity);
    fill();
}

void TNoraiditasRindas::btCloseClick()
{
    close();
}
