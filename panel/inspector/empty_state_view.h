#pragma once

#include <QWidget>

class QLabel;

// What the inspector shows when no item is active.
class EmptyStateView : public QWidget
{
    Q_OBJECT
public:
    explicit EmptyStateView(QWidget *parent = nullptr);

    QLabel *messageLabel() const { return m_message; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void tintIcon();

    QLabel *m_icon;
    QLabel *m_message;
};
