#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;
class QLabel;

// The search field of the top bar: symbol, plain text field, and a clear
// button that exists only while there is text.
class SearchField : public QWidget
{
    Q_OBJECT
public:
    explicit SearchField(QWidget *parent = nullptr);

    QString text() const;
    // Updates the field without re-announcing the change.
    void setText(const QString &text);
    QLineEdit *lineEdit() const { return m_edit; }
    QToolButton *clearButton() const { return m_clear; }

signals:
    void textEdited(const QString &text);

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void updateIcons();

    QLabel *m_symbol;
    QLineEdit *m_edit;
    QToolButton *m_clear;
};
