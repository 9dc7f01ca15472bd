// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

// What every window test needs: a fresh working folder made current, the window's services
// (fakes, plus the real settings store and lock in that folder), and ways to reach the
// window's controls and to click it as a user would.

#include "app/korvanefrm.h"
#include "fakeservices.h"
#include "settings/profile.h"
#include "workfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QWindow>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

namespace korvane::test {

// One window's services, each test's own. The folder comes first, so that it is current before
// anything else is made and is left only after everything else has gone.
struct WindowServices
{
    WorkFolder folder;
    FakeMessages messages;
    IniProfileStore profile;
    SingleInstanceLock lock{folder.lockPath()};
    ScriptedRandom random;
    FixedWallClock wallClock;
    SteadyClock monotonic;
    FakeDesktop desktop;

    KorvaneServices services() { return {messages, profile, lock, random, wallClock, monotonic, desktop}; }
};

// Keeps the offscreen platform's notice about fixed window sizes out of the test log.
inline void quietToolkitNotices()
{
    static QtMessageHandler previous = nullptr;
    previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (text.contains(QLatin1String("propagateSizeHints"))) {
            return;
        }
        if (previous != nullptr) {
            previous(type, context, text);
        }
    });
}

// A named control of the window; fails the test (returning null) when there is none.
template <typename T = QWidget>
T* control(const QWidget& window, const char* name)
{
    T* found = window.findChild<T*>(QLatin1String(name));
    if (found == nullptr) {
        qWarning("no control named %s", name);
    }
    return found;
}

inline QString caption(const QWidget& window, const char* name)
{
    const auto* label = control<QLabel>(window, name);
    return label ? label->text() : QStringLiteral("<no %1>").arg(QLatin1String(name));
}

// Whether a control would show with its window: not hidden itself nor inside a hidden parent.
inline bool shown(const QWidget& window, const char* name)
{
    const QWidget* widget = control(window, name);
    return widget != nullptr && widget->isVisibleTo(&window);
}

// Shows the window and waits until it is on screen and active, as a user would find it.
inline bool showAndActivate(QWidget& window)
{
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowExposed(&window) && QTest::qWaitForWindowActive(&window);
}

// A point of `widget` in the window's client coordinates: its centre, or `local` when given.
inline QPoint windowPoint(const QWidget& window, const QWidget* widget, QPoint local = QPoint(-1, -1))
{
    return widget->mapTo(&window, local == QPoint(-1, -1) ? widget->rect().center() : local);
}

// A left click delivered to the window at a point, the way the windowing system delivers it:
// the window itself decides which control, if any, lies there.
inline void clickThrough(QWidget& window, QPoint point)
{
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, Qt::NoModifier, point);
}

inline void clickThrough(QWidget& window, const QWidget* widget)
{
    clickThrough(window, windowPoint(window, widget));
}

// Catches what the process writes to its standard error, from construction to take().
class StderrCapture
{
public:
    StderrCapture()
    {
        std::fflush(stderr);
        if (m_file.open()) {
            m_saved = ::dup(2);
            ::dup2(m_file.handle(), 2);
        }
    }
    ~StderrCapture() { restore(); }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    QByteArray take()
    {
        restore();
        QFile file(m_file.fileName());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    void restore()
    {
        std::fflush(stderr);
        if (m_saved >= 0) {
            ::dup2(m_saved, 2);
            ::close(m_saved);
            m_saved = -1;
        }
    }

    QTemporaryFile m_file;
    int m_saved = -1;
};

// The lines of a text, split at CR LF; a text ending in CR LF gives no empty last line.
inline QList<QByteArray> crlfLines(const QByteArray& text)
{
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    for (QByteArray& line : lines) {
        if (line.endsWith('\r')) {
            line.chop(1);
        }
    }
    return lines;
}

} // namespace korvane::test
