#pragma once

#include "touchform.h"

class DocumentLines;
class QLabel;
class QPushButton;

// Asks whether the line the lines list located should be deleted and, when
// the user confirms, deletes it (DocumentLines::DeleteCurrentLine: its log
// entry, its stock reversed, the row, as one unit). Made once by the lines
// window and reused; the lines window refreshes its list when this closes.
class TVaiDzestIerakstu final : public TouchForm
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TVaiDzestIerakstu)

public:
    TVaiDzestIerakstu(QWidget* owner, DocumentLines& lines);

    QLabel* lbTitle() const { return m_lbTitle; }
    QPushButton* btDelete() const { return m_btDelete; }
    QPushButton* btClose() const { return m_btClose; }

private:
    void btDeleteClick();
    void btCloseClick();

    DocumentLines& m_lines;
    QLabel* m_lbTitle = nullptr;
    QPushButton* m_btDelete = nullptr;
    QPushButton* m_btClose = nullptr;
};
