#pragma once

#include <QCheckBox>

// A check box for fingers: a large box and a caption that wraps onto further
// lines within the control's width; a touch anywhere on it toggles it.
// text() stays the caption as given.
class TouchCheckBox final : public QCheckBox
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TouchCheckBox)

public:
    TouchCheckBox(const QString& caption, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override;
};
