#include "client/documents/tvaidzestierakstu.h"

#include "client/core/documentlines.h"

#include <QLabel>
#include <QPushButton>

TVaiDzestIerakstu::TVaiDzestIerakstu(QWidget* owner, DocumentLines& lines)
    : TouchForm(owner, QStringLiteral("VaiDzestIerakstu"), QStringLiteral("Vai dzēst ierakstu ?")),
      m_lines(lines)
{
    m_lbTitle = makeTitle(QStringLiteral("lbTitle"), QStringLiteral("Vai dzēst ierakstu ?"),
                          QRect(8, 40, 339, 80));
    m_btDelete = makeButton(QStringLiteral("btDelete"), QStringLiteral("Dzēst ierakstu"),
                            QRect(30, 180, 160, 49), 18);
    m_btClose = makeButton(QStringLiteral("btClose"), QStringLiteral("Aizvērt"),
                           QRect(210, 180, 105, 49), 18);
    onClick(m_btDelete, &TVaiDzestIerakstu::btDeleteClick);
    onClick(m_btClose, &TVaiDzestIerakstu::btCloseClick);
}

void TVaiDzestIerakstu::Ask(const DocumentLines::LocatedLine& line)
{
    m_line = line;
    open();
}

void TVaiDzestIerakstu::btDeleteClick()
{
    // A failure is shown by the wiring and the window stays open; nothing of
    // the deletion is then stored.
    if (m_line)
        m_lines.DeleteLine(*m_line);
    m_line.reset();
    close();
}

void TVaiDzestIerakstu::btCloseClick()
{
    m_line.reset();
    close();
}
