#include "paste_stroke.h"

#include <QStringList>

namespace {

// WM_CLASS names and Wayland app ids of terminal emulators, lower case.
const QStringList &terminalClasses()
{
    static const QStringList classes{
        QStringLiteral("xterm"),          QStringLiteral("uxterm"),
        QStringLiteral("urxvt"),          QStringLiteral("rxvt"),
        QStringLiteral("urxvt-unicode"),  QStringLiteral("gnome-terminal"),
        QStringLiteral("gnome-terminal-server"), QStringLiteral("org.gnome.console"),
        QStringLiteral("kgx"),            QStringLiteral("konsole"),
        QStringLiteral("xfce4-terminal"), QStringLiteral("alacritty"),
        QStringLiteral("kitty"),          QStringLiteral("terminator"),
        QStringLiteral("tilix"),          QStringLiteral("st"),
        QStringLiteral("st-256color"),    QStringLiteral("wezterm"),
        QStringLiteral("org.wezfurlong.wezterm"), QStringLiteral("foot"),
        QStringLiteral("footclient"),     QStringLiteral("lxterminal"),
        QStringLiteral("mate-terminal"),  QStringLiteral("qterminal"),
        QStringLiteral("terminology"),    QStringLiteral("sakura"),
        QStringLiteral("guake"),          QStringLiteral("tilda"),
        QStringLiteral("yakuake"),        QStringLiteral("cool-retro-term"),
        QStringLiteral("eterm"),          QStringLiteral("aterm"),
        QStringLiteral("roxterm"),        QStringLiteral("termite"),
        QStringLiteral("ghostty"),        QStringLiteral("com.mitchellh.ghostty"),
        QStringLiteral("deepin-terminal"), QStringLiteral("terminal"),
        QStringLiteral("org.gnome.terminal"), QStringLiteral("org.kde.konsole"),
        QStringLiteral("org.kde.yakuake"), QStringLiteral("io.elementary.terminal"),
        QStringLiteral("com.gexperts.tilix"), QStringLiteral("org.xfce.terminal"),
    };
    return classes;
}

} // namespace

bool isTerminalWindowClass(const QString &instanceName, const QString &className)
{
    const auto matches = [](const QString &name) {
        return !name.isEmpty() && terminalClasses().contains(name.toLower());
    };
    return matches(instanceName) || matches(className);
}

PasteStroke pasteStrokeForWindowClass(const QString &instanceName, const QString &className)
{
    return isTerminalWindowClass(instanceName, className) ? PasteStroke::ControlShiftV
                                                          : PasteStroke::ControlV;
}
