#include "shell/Dialogs.h"

#include <cstdio>

#include <QInputDialog>
#include <QPushButton>

void Dialogs::reset()
{
    s_nextAnswer.reset();
    s_nextChoice.reset();
    s_nextText.reset();
    s_lastAsked.clear();
    s_lastDetails.clear();
    s_asked = 0;
    s_unattended = false;
}

void Dialogs::setNextText(std::optional<QString> text)
{
    s_nextText = std::move(text);
}

QMessageBox::StandardButton Dialogs::question(QWidget* parent, const QString& title,
                                              const QString& text)
{
    ++s_asked;
    s_lastAsked = title + u'|' + text;
    if (s_nextAnswer) {
        const QMessageBox::StandardButton answer = *s_nextAnswer;
        s_nextAnswer.reset();
        return answer;
    }
    if (s_unattended)
        return QMessageBox::No;
    // The text may hold what a caller sent: shown as it is, never read as markup.
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    return QMessageBox::StandardButton(box.exec());
}

QString Dialogs::inputBox(QWidget* parent, const QString& prompt, const QString& title,
                          const QString& defaultText)
{
    ++s_asked;
    s_lastAsked = title + u'|' + prompt + u'|' + defaultText;
    if (s_nextText) {
        const std::optional<QString> answer = *s_nextText;
        s_nextText.reset();
        return answer.value_or(QString());
    }
    if (s_unattended)
        return QString();
    bool accepted = false;
    const QString text =
        QInputDialog::getText(parent, title, prompt, QLineEdit::Normal, defaultText, &accepted);
    return accepted ? text : QString();
}

int Dialogs::choice(QWidget* parent, const QString& title, const QString& text,
                    const QStringList& buttons)
{
    ++s_asked;
    s_lastAsked = title + u'|' + text;
    if (s_nextChoice) {
        const int answer = *s_nextChoice;
        s_nextChoice.reset();
        return answer;
    }
    if (s_unattended)
        return int(buttons.size()) - 1;
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    QList<QAbstractButton*> made;
    for (qsizetype i = 0; i < buttons.size(); ++i)
        made << box.addButton(buttons.at(i), i + 1 == buttons.size() ? QMessageBox::RejectRole
                                                                     : QMessageBox::AcceptRole);
    box.setEscapeButton(made.last());
    box.exec();
    const qsizetype index = made.indexOf(box.clickedButton());
    return index < 0 ? int(buttons.size()) - 1 : int(index);
}

void Dialogs::serviceRunning(const QString& webListen)
{
    QString text = QStringLiteral(
        "Ringwatch is already running without a window for you (the ringdesk service), and only "
        "one Ringwatch can watch the modem. To use this window, stop the service first: "
        "systemctl --user stop ringdesk");
    if (!webListen.isEmpty())
        text +=
            QStringLiteral("\n\nOr see the calls on the service's web page (%1).").arg(webListen);
    std::fprintf(stderr, "ringdesk: %s\n", qPrintable(text));
    ++s_asked;
    s_lastAsked = QStringLiteral("Ringwatch is running|") + text;
    if (s_nextAnswer) {
        s_nextAnswer.reset();
        return;
    }
    if (s_unattended)
        return;
    QMessageBox box(QMessageBox::Information, QStringLiteral("Ringwatch is running"), text,
                    QMessageBox::Ok);
    box.exec();
}

QString Dialogs::noModemAdvice()
{
    return QStringLiteral(
        "None of the ports tried has a device. Check that the modem is plugged in (a USB modem "
        "shows as /dev/ttyACM0), that your user is in the dialout group (\"groups\"; if not: "
        "sudo adduser $USER dialout, then log in again), and which ports are tried "
        "(ringdesk-config, \"On Find Modems\").");
}

void Dialogs::modemError(QWidget* parent, const std::function<void()>& showHelp,
                         const QStringList& details, bool anyDevice)
{
    // Not one port had a device: the modem is missing, not its caller ID.
    const QString text = anyDevice ? QStringLiteral("No Caller Id Features found in Modem(s)")
                                   : QStringLiteral("No modem was found");
    ++s_asked;
    s_lastAsked = QStringLiteral("Serious Modem Error|") + text;
    s_lastDetails = details;
    if (s_nextAnswer) {
        if (*s_nextAnswer == QMessageBox::Help)
            showHelp();
        s_nextAnswer.reset();
        return;
    }
    if (s_unattended)
        return;
    // Help opens the help beside the box; the box then asks again, as it stays until OK.
    for (;;) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Serious Modem Error"), text,
                        QMessageBox::Ok, parent);
        if (!anyDevice)
            box.setInformativeText(noModemAdvice());
        box.setWindowModality(Qt::WindowModal);
        // The ports that did not open, and why: the box keeps its text, the reasons are a
        // click away.
        if (!details.isEmpty())
            box.setDetailedText(details.join(u'\n'));
        QAbstractButton* help = box.addButton(QMessageBox::Help);
        box.exec();
        if (box.clickedButton() != help)
            return;
        showHelp();
    }
}
