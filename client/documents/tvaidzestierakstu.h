#pragma once

#include "client/core/documentlines.h"
#include "client/widgets/touchform.h"

#include <optional>

class QLabel;
class QPushButton;

// Asks whether the line the lines list located should be deleted and, when
// the user confirms, deletes it (DocumentLines::DeleteLine: its log entry,
// its stock reversed, the row, as one unit). The line is the one located as
// the question was asked: the list reloading meanwhile (a save, the list tab,
// another document) changes nothing about which line goes. Made once by the
// lines window and reused; the lines window refreshes its list when this
// closes.
class TVaiDzestIerakstu final : public TouchForm
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TVaiDzestIerakstu)

public:
    TVaiDzestIerakstu(QWidget* owner, DocumentLines& lines);

    // Opens the window about that line.
    void Ask(const DocumentLines::LocatedLine& line);

    QLabel* lbTitle() const { return m_lbTitle; }
    QPushButton* btDelete() const { return m_btDelete; }
    QPushButton* btClose() const { return m_btClose; }

private:
    void btDeleteClick();
    void btCloseClick();

    DocumentLines& m_lines;
    std::optional<DocumentLines::LocatedLine> m_line;
    QLabel* m_lbTitle = nullptr;
    QPushButton* m_btDelete = nullptr;
    QPushButton* m_btClose = nullptr;
};
