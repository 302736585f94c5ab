#pragma once

#include <QWidget>

// A one-pixel line in the primary colour at a given opacity.
class DividerLine : public QWidget
{
public:
    DividerLine(Qt::Orientation orientation, qreal opacity, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    qreal m_opacity;
};
