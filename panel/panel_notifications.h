#pragma once

#include <QObject>

// The five panel notifications. The shell's key monitor and show action
// emit them; the panel view reacts (tests emit them directly).
class PanelNotifications : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void tavorindleNavigateUp();
    void tavorindleNavigateDown();
    void tavorindlePasteSelected();
    void tavorindleQuickPaste(int index); // 0 to 8
    void tavorindleWindowWillShow();
};
