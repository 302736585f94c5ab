// A native Wayland window that logs the keys it gets, for the paste tests:
//   wayland_key_logger APP-ID
// Runs Qt on wayland with the given app id; prints "focus" when it has the
// keyboard, then "key <key> <modifiers>" for each press of a key that is
// not a modifier (Qt's numbers).
#include <QGuiApplication>
#include <QKeyEvent>
#include <QRasterWindow>

#include <cstdio>

class KeyLogger : public QRasterWindow
{
protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        switch (event->key()) {
        case Qt::Key_Control:
        case Qt::Key_Shift:
        case Qt::Key_Alt:
        case Qt::Key_Meta:
        case Qt::Key_Super_L:
            return; // a stroke's modifiers show in the key's own state
        default:
            break;
        }
        std::printf("key %d %d\n", event->key(), int(event->modifiers()));
        std::fflush(stdout);
    }
    void focusInEvent(QFocusEvent *) override
    {
        std::printf("focus\n");
        std::fflush(stdout);
    }
    void focusOutEvent(QFocusEvent *) override
    {
        std::printf("blur\n");
        std::fflush(stdout);
    }
};

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "wayland");
    QGuiApplication app(argc, argv);
    if (argc < 2)
        return 2;
    QGuiApplication::setDesktopFileName(QString::fromLocal8Bit(argv[1]));
    KeyLogger window;
    window.setTitle(QStringLiteral("key logger %1").arg(QString::fromLocal8Bit(argv[1])));
    window.resize(300, 200);
    window.show();
    return app.exec();
}
