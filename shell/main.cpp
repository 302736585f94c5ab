#include "clipboard_manager.h"
#include "termination_signals.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tavorindle"));
    QApplication::setQuitOnLastWindowClosed(false);

    TerminationSignals signals;
    QObject::connect(&signals, &TerminationSignals::terminationRequested, &app, &QApplication::quit);

    ClipboardManager::shared().startObserving();
    return app.exec();
}
