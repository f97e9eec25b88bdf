#pragma once

#include "client/core/documentlines.h"
#include "client/widgets/touchform.h"

class QLabel;
class QListWidget;
class QPushButton;

// The lines saved while the server could not be reached that the database
// refused when they were sent (more than the stock, a document deleted
// meanwhile), each with the message the save would have shown. Nothing of
// them is stored; the worker corrects one (its article and quantity go back
// into the lines window, to be saved again) or drops it.
class TNoraiditasRindas final : public TouchForm
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TNoraiditasRindas)

public:
    TNoraiditasRindas(QWidget* owner, DocumentLines& lines);

    // Lists the refused lines and opens the window.
    void ShowRefused();

    QListWidget* lstNoraiditas() const { return m_lstNoraiditas; }
    QPushButton* btLabot() const { return m_btLabot; }
    QPushButton* btDzest() const { return m_btDzest; }
    QPushButton* btClose() const { return m_btClose; }

    // The line the worker chose to correct last (it has left the queue).
    const QueuedLine& corrected() const { return m_corrected; }

signals:
    // The worker chose to correct corrected().
    void correct();

private:
    void btLabotClick();
    void btDzestClick();
    void btCloseClick();
    void fill();
    // The line the list's current item stands for; empty when none.
    QString chosenIdentity() const;

    DocumentLines& m_lines;
    QList<QueuedLine> m_refused;
    QueuedLine m_corrected;
    QLabel* m_lbTitle = nullptr;
    QListWidget* m_lstNoraiditas = nullptr;
    QPushButton* m_btLabot = nullptr;
    QPushButton* m_btDzest = nullptr;
    QPushButton* m_btClose = nullptr;
};
