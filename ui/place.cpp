#include "ui/place.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>
#include <vector>

#include "shell/windowplace.h"

namespace zantrel {

bool RestoreWindowPlace(QWidget& window) {
    QSettings settings(QStringLiteral("Zantrel"), QStringLiteral("Zantrel"));
    if (!settings.contains(QStringLiteral("window/width")))
        return false;
    WindowPlace place{{settings.value(QStringLiteral("window/x")).toInt(),
                       settings.value(QStringLiteral("window/y")).toInt(),
                       settings.value(QStringLiteral("window/width")).toInt(),
                       settings.value(QStringLiteral("window/height")).toInt()},
                      settings.value(QStringLiteral("window/maximised")).toBool()};
    std::vector<ScreenRect> screens;
    auto add = [&screens](const QScreen* screen) {
        const QRect r = screen->availableGeometry();
        screens.push_back({r.x(), r.y(), r.width(), r.height()});
    };
    // The main screen first: a window on no screen goes there.
    QScreen* primary = QGuiApplication::primaryScreen();
    if (primary)
        add(primary);
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen != primary)
            add(screen);
    place = KeepOnScreen(place, screens, MinimumWindowWidth, MinimumWindowHeight);
    window.setGeometry(place.normal.x, place.normal.y, place.normal.width, place.normal.height);
    return place.maximised;
}

void SaveWindowPlace(const QWidget& window) {
    QSettings settings(QStringLiteral("Zantrel"), QStringLiteral("Zantrel"));
    const QRect r = window.isMaximized() ? window.normalGeometry() : window.geometry();
    settings.setValue(QStringLiteral("window/x"), r.x());
    settings.setValue(QStringLiteral("window/y"), r.y());
    settings.setValue(QStringLiteral("window/width"), r.width());
    settings.setValue(QStringLiteral("window/height"), r.height());
    settings.setValue(QStringLiteral("window/maximised"), window.isMaximized());
}

} // namespace zantrel
