// A native Wayland window with a text field, the target of the paste tests:
//   wayland_paste_target APP-ID
// Prints "focus" when it has the keyboard and "text <base64>" whenever the
// field's text changes (a paste lands in it).
#include <QApplication>
#include <QLineEdit>

#include <cstdio>

class Field : public QLineEdit
{
protected:
    void focusInEvent(QFocusEvent *event) override
    {
        QLineEdit::focusInEvent(event);
        std::printf("focus\n");
        std::fflush(stdout);
    }
};

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "wayland");
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    QGuiApplication::setDesktopFileName(QString::fromLocal8Bit(argv[1]));
    Field field;
    QObject::connect(&field, &QLineEdit::textChanged, [](const QString &text) {
        std::printf("text %s\n", text.toUtf8().toBase64().constData());
        std::fflush(stdout);
    });
    field.resize(400, 60);
    field.show();
    return app.exec();
}
