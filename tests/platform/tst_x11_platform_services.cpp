// On an X display the factory picks the native backends.
#include "global_hot_key_backend.h"
#include "platform_services.h"
#include "x11/x11_hot_key_backend.h"
#include "x11/x11_input_synthesizer.h"
#include "x11/x11_pasteboard.h"
#include "x11/x11_window_system.h"

#include <QGuiApplication>
#include <QTest>

class TestX11PlatformServices : public QObject
{
    Q_OBJECT
private slots:
    void onXcbTheNativeBackendsRun()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        PlatformServices services = createPlatformServices();
        QVERIFY(dynamic_cast<X11Pasteboard *>(services.pasteboard.get()));
        QVERIFY(dynamic_cast<X11HotKeyBackend *>(services.hotKeys.get()));
        QVERIFY(dynamic_cast<X11InputSynthesizer *>(services.inputSynthesizer.get()));
        QVERIFY(dynamic_cast<X11WindowSystem *>(services.windowSystem.get()));
    }
};

QTEST_MAIN(TestX11PlatformServices)
#include "tst_x11_platform_services.moc"
