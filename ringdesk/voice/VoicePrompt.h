#pragma once

#include <QList>
#include <QObject>
#include <QProcess>
#include <functional>
#include <memory>

// Something the line says to a caller (the announcement for blocked callers, the answering
// machine's greeting): the user's sound file, or, without one, a text spoken once by espeak-ng
// in the user's language and kept in the data folder, read as 8000 Hz mono samples.
class VoicePrompt : public QObject
{
    Q_OBJECT
public:
    struct Kind
    {
        QString setting;  // "Voice/Announcement": where the user names a file of their own
        QString keptName; // "announcement": the spoken one is kept as announcement-<lang>.wav
        QString without;  // what the caller hears when there is nothing: "the tone alone"
        // The words in a language (ISO 639-1), English where it has none of its own.
        std::function<QString(const QString& language)> text;
    };

    explicit VoicePrompt(Kind kind, QObject* parent = nullptr);
    // Other words from the next prepare() on (the human check's, when its key changes).
    void setKind(Kind kind) { m_kind = std::move(kind); }

    // `file` when it is not empty; else the spoken text in `language`, made in `folder` unless
    // it is there already (espeak-ng runs meanwhile).
    void prepare(const QString& file, const QString& folder, const QString& language);
    // Its samples at 8000 Hz; empty until read or spoken.
    const QList<qint16>& samples() const { return m_samples; }

signals:
    void eventLine(const QString& line);
    void ready();

private:
    void read(const QString& path, const QString& what);
    void speak(const QString& kept, const QString& language);

    Kind m_kind;
    QList<qint16> m_samples;
    std::unique_ptr<QProcess> m_speaker;
};
