#pragma once

#include "app_process.h"

#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

// A window of the test's own on the X display, whose text field is where
// pastes land.
class PasteTarget : public QWidget
{
public:
    PasteTarget()
    {
        setWindowTitle(QStringLiteral("tavorindle-test-target"));
        (new QVBoxLayout(this))->addWidget(field);
        setGeometry(20, 600, 400, 80);
    }
    bool showExposed()
    {
        show();
        return QTest::qWaitForWindowExposed(this);
    }
    // Empty and focused, ready for the next paste.
    bool activateEmpty()
    {
        field->clear();
        return AppProcess::activate(winId());
    }
    bool received(const QString &text)
    {
        return AppProcess::waitUntil([&] { return field->text() == text; });
    }

    QLineEdit *field = new QLineEdit;
};
