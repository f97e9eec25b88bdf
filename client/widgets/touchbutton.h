#pragma once

#include <QPushButton>

// A push button whose caption wraps onto a second line when it does not fit
// the button's fixed width, as the larger menu captions do at touch size.
// text() stays the caption as given.
class TouchButton final : public QPushButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TouchButton)

public:
    TouchButton(const QString& caption, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};
