#pragma once

#include "linktesting.h"
#include "prompts.h"

#include <QApplication>
#include <QKeyEvent>
#include <QStringList>
#include <QWidget>

#include <gtest/gtest.h>

#include <deque>

// Readable failures for texts of the windows.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace pixbar::testing {

/// Answers boxes and dialogs from a script; an unexpected question or dialog fails the test.
class ScriptedPrompts : public UserPrompts {
public:
    std::deque<QString> files;
    QStringList errors;
    QStringList filters;

    void error(const QString& text) override { errors << text; }
    bool question(const QString& text) override {
        ADD_FAILURE() << "unexpected question: " << text.toStdString();
        return false;
    }
    QString openFile(const QString& filter, const QString&, const QString&) override {
        filters << filter;
        if (files.empty()) {
            ADD_FAILURE() << "unexpected file dialog: " << filter.toStdString();
            return {};
        }
        QString f = files.front();
        files.pop_front();
        return f;
    }
    QString saveFile(const QString& filter, const QString&) override {
        ADD_FAILURE() << "unexpected save dialog: " << filter.toStdString();
        return {};
    }
};

/// Types one key as the user would: into the widget that has the focus, else into `window`.
inline void TypeKey(QWidget* window, int key, const QString& text) {
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : window;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &release);
}

/// Shows a window and makes it the active one, as a click on it would.
inline void ShowActive(QWidget* window) {
    window->show();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    QApplication::processEvents();
}

} // namespace pixbar::testing
