#include "Dialogs.h"

#include <QInputDialog>

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
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No);
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
    bool accepted = false;
    const QString text =
        QInputDialog::getText(parent, title, prompt, QLineEdit::Normal, defaultText, &accepted);
    return accepted ? text : QString();
}
