#pragma once

#include <QStringList>

#include <functional>

// Whether the toolkit can show a window at all. On Windows and macOS there is always a screen. On
// other systems the window needs a platform: one named by QT_QPA_PLATFORM or by the toolkit's
// "-platform" argument, or an X11 (DISPLAY) or Wayland (WAYLAND_DISPLAY) display; without any of
// them the toolkit would abort the process while creating its application object.
// environment: the value of an environment variable, empty when unset.
bool displayIsAvailable(
    const std::function<QByteArray(const char *)> &environment, const QStringList &arguments);

// The same for this process.
bool displayIsAvailable(const QStringList &arguments);
