// A Qt window standing in for the user's program in the GNOME tests; run it
// on the wayland platform.
//   wayland_key_window APP_ID
// Prints "ready" once it has the focus, then one line per key press
// ("key Ctrl+V"), "paste TEXT" after Ctrl+V or Ctrl+Shift+V, and on F2
// copies "secret-from-wayland" marked as concealed ("copied"). F3 does the
// same and quits ("quitting").
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMimeData>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

void say(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

class KeyWindow : public QWidget
{
protected:
    void changeEvent(QEvent *event) override
    {
        if (event->type() == QEvent::ActivationChange && isActiveWindow())
            say(QStringLiteral("ready"));
        QWidget::changeEvent(event);
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        const QKeyCombination combination = event->keyCombination();
        say(QStringLiteral("key ") + QKeySequence(combination).toString(QKeySequence::PortableText));
        const auto mods = combination.keyboardModifiers() & ~Qt::KeypadModifier;
        if (combination.key() == Qt::Key_V
            && (mods == Qt::ControlModifier || mods == (Qt::ControlModifier | Qt::ShiftModifier))) {
            // The clipboard answers asynchronously on Wayland.
            QTimer::singleShot(300, this, [] {
                say(QStringLiteral("paste ") + QGuiApplication::clipboard()->text());
            });
        }
        if (combination.key() == Qt::Key_F2 || combination.key() == Qt::Key_F3) {
            auto *data = new QMimeData;
            data->setText(QStringLiteral("secret-from-wayland"));
            data->setData(QStringLiteral("x-kde-passwordManagerHint"), "secret");
            QGuiApplication::clipboard()->setMimeData(data);
            say(QStringLiteral("copied"));
            if (combination.key() == Qt::Key_F3) {
                say(QStringLiteral("quitting"));
                QTimer::singleShot(300, qApp, &QApplication::quit);
            }
        }
    }
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc > 1)
        QGuiApplication::setDesktopFileName(QString::fromLocal8Bit(argv[1]));
    KeyWindow window;
    window.setFocusPolicy(Qt::StrongFocus);
    window.setWindowTitle(QStringLiteral("key window"));
    window.resize(400, 300);
    window.show();
    return app.exec();
}
