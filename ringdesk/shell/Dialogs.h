#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QWidget;

// The few modal questions the monitor asks. Tests queue the answer of the next one; it is then
// taken without showing anything, and what would have been asked is kept for the test to read.
class Dialogs
{
public:
    static QMessageBox::StandardButton question(QWidget* parent, const QString& title,
                                                const QString& text);
    // The typed text, or the empty text when the user cancels.
    static QString inputBox(QWidget* parent, const QString& prompt, const QString& title,
                            const QString& defaultText);

    // A choice among buttons with the given captions; the index of the one clicked (closing
    // the box counts as the last one).
    static int choice(QWidget* parent, const QString& title, const QString& text,
                      const QStringList& buttons);
    static void setNextChoice(int index) { s_nextChoice = index; }

    // "Serious Modem Error": OK and Help; Help runs showHelp and leaves the box open.
    // Ringwatch runs without a window for this user already (the service): this copy cannot
    // have the modem. Says so, on standard error too, with the way out: stop the service, or
    // open its web page when it serves one (`webListen`).
    static void serviceRunning(const QString& webListen);
    // What to check when no port had a device behind it.
    static QString noModemAdvice();
    static void modemError(QWidget* parent, const std::function<void()>& showHelp,
                           const QStringList& details = {}, bool anyDevice = true);
    static QStringList lastDetails() { return s_lastDetails; }

    static void setNextAnswer(QMessageBox::StandardButton answer) { s_nextAnswer = answer; }
    // Unattended: with no answer queued, questions are answered No, input boxes cancelled and
    // the modem error acknowledged, all without showing anything.
    static void setUnattended(bool unattended) { s_unattended = unattended; }
    // std::nullopt stands for Cancel.
    static void setNextText(std::optional<QString> text);
    static QString lastAsked() { return s_lastAsked; }
    static int asked() { return s_asked; }
    // Back to asking the user: no answers queued, nothing asked yet, not unattended.
    static void reset();

private:
    static inline std::optional<QMessageBox::StandardButton> s_nextAnswer;
    static inline std::optional<int> s_nextChoice;
    static inline std::optional<std::optional<QString>> s_nextText;
    static inline QString s_lastAsked;
    static inline QStringList s_lastDetails;
    static inline int s_asked = 0;
    static inline bool s_unattended = false;
};
