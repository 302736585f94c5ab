// A Qt window on Wayland standing in for the user's program:
//   wayland_window APP-ID
// Prints "focus" when it gets the keyboard, "key <keys>" for each press of
// a key that is not a modifier ("key Ctrl+Shift+V"), and "text <base64>"
// whenever its field's text changes. Ctrl+V and Ctrl+Shift+V paste into the
// field a moment later (the clipboard's news may come after the key). F2
// copies "secret-from-wayland" marked as concealed ("copied"); F3 does the
// same and quits ("quitting").
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QTimer>

#include <cstdio>

namespace {

void say(const QByteArray &line)
{
    std::printf("%s\n", line.constData());
    std::fflush(stdout);
}

class Window : public QLineEdit
{
protected:
    void focusInEvent(QFocusEvent *event) override
    {
        QLineEdit::focusInEvent(event);
        say("focus");
    }
    void keyPressEvent(QKeyEvent *event) override
    {
        const int key = event->key();
        if (key == Qt::Key_Control || key == Qt::Key_Shift || key == Qt::Key_Alt || key == Qt::Key_Meta
            || key == Qt::Key_Super_L)
            return;
        const QKeyCombination combination(event->modifiers() & ~Qt::KeypadModifier, Qt::Key(key));
        say("key " + QKeySequence(combination).toString(QKeySequence::PortableText).toUtf8());
        const auto mods = combination.keyboardModifiers();
        if (key == Qt::Key_V && (mods == Qt::ControlModifier || mods == (Qt::ControlModifier | Qt::ShiftModifier))) {
            QTimer::singleShot(300, this, &QLineEdit::paste);
        } else if (key == Qt::Key_F2 || key == Qt::Key_F3) {
            auto *data = new QMimeData;
            data->setText(QStringLiteral("secret-from-wayland"));
            data->setData(QStringLiteral("x-kde-passwordManagerHint"), "secret");
            QGuiApplication::clipboard()->setMimeData(data);
            say("copied");
            if (key == Qt::Key_F3) {
                say("quitting");
                QTimer::singleShot(300, qApp, &QApplication::quit);
            }
        } else {
            QLineEdit::keyPressEvent(event);
        }
    }
};

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "wayland");
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    QGuiApplication::setDesktopFileName(QString::fromLocal8Bit(argv[1]));
    Window window;
    QObject::connect(&window, &QLineEdit::textChanged, [](const QString &text) { say("text " + text.toUtf8().toBase64()); });
    window.resize(400, 300);
    window.show();
    return app.exec();
}
