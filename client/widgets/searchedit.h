#pragma once

#include <QLineEdit>

class QToolButton;

// An edit field with a search button inside its right end, as the article,
// number and client fields have. The button takes no focus, so pressing it
// leaves the focus (and the text) in the field.
class SearchEdit final : public QLineEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SearchEdit)

public:
    explicit SearchEdit(QWidget* parent);

    QToolButton* searchButton() const { return m_button; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QToolButton* m_button;
};
