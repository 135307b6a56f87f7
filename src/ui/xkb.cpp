#include "ui/xkb.h"

#include <QGuiApplication>
#include <QStringList>

#if QT_CONFIG(xcb)
#include <X11/XKBlib.h>
#endif

#include <memory>

namespace {

#if QT_CONFIG(xcb)
Display *display()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    const auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->display() : nullptr;
}
#endif

} // namespace

std::optional<bool> xkbCapsLock()
{
#if QT_CONFIG(xcb)
    if (Display *server = display()) {
        // By the indicator's name: its number differs between keymaps.
        Bool lit = False;
        if (XkbGetNamedIndicator(server, XInternAtom(server, "Caps Lock", False), nullptr, &lit, nullptr, nullptr))
            return lit == True;
        XkbStateRec state{};
        if (XkbGetState(server, XkbUseCoreKbd, &state) == Success)
            return (state.locked_mods & LockMask) != 0;
    }
#endif
    return std::nullopt;
}

QString xkbLayout()
{
#if QT_CONFIG(xcb)
    Display *server = display();
    if (!server)
        return QString();
    XkbStateRec state{};
    if (XkbGetState(server, XkbUseCoreKbd, &state) != Success)
        return QString();
    const std::unique_ptr<XkbDescRec, void (*)(XkbDescPtr)> keyboard(XkbAllocKeyboard(),
                                                                     [](XkbDescPtr k) { XkbFreeKeyboard(k, 0, True); });
    if (!keyboard || XkbGetNames(server, XkbSymbolsNameMask, keyboard.get()) != Success || !keyboard->names
        || !keyboard->names->symbols)
        return QString();
    char *name = XGetAtomName(server, keyboard->names->symbols);
    if (!name)
        return QString();
    const QString symbols = QString::fromLatin1(name);
    XFree(name);
    return layoutOfGroup(symbols, state.group);
#else
    return QString();
#endif
}

QString layoutOfGroup(const QString &symbols, int group)
{
    // Parts that add keys to every group rather than name a layout.
    static const QStringList notLayouts{
        QStringLiteral("pc"),       QStringLiteral("inet"),      QStringLiteral("group"),
        QStringLiteral("level3"),   QStringLiteral("level5"),    QStringLiteral("ctrl"),
        QStringLiteral("compose"),  QStringLiteral("terminate"), QStringLiteral("capslock"),
        QStringLiteral("eurosign"), QStringLiteral("altwin"),    QStringLiteral("keypad"),
        QStringLiteral("nbsp"),     QStringLiteral("kpdl"),      QStringLiteral("srvr_ctrl"),
        QStringLiteral("lv3"),      QStringLiteral("lv5"),       QStringLiteral("shift")};
    static const QStringList english{QStringLiteral("us"), QStringLiteral("gb"), QStringLiteral("au"),
                                     QStringLiteral("nz"), QStringLiteral("ie")};
    int next = 0;
    for (const QString &part : symbols.split(QLatin1Char('+'), Qt::SkipEmptyParts)) {
        QString layout = part.section(QLatin1Char(':'), 0, 0).section(QLatin1Char('('), 0, 0);
        if (layout.isEmpty() || notLayouts.contains(layout))
            continue;
        // "ru:2" names its group; a bare layout takes the next one.
        bool numbered = false;
        const int index = part.section(QLatin1Char(':'), 1, 1).toInt(&numbered) - 1;
        const int at = numbered ? index : next;
        next = at + 1;
        if (at == group)
            return english.contains(layout) ? QStringLiteral("EN") : layout.toUpper();
    }
    return QString();
}
