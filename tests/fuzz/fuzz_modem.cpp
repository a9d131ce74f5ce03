// Feeds arbitrary bytes through everything that reads modem or caller text: the receive handler
// with the event parser and MESG decoding (in chunks cut where the input says), number layout,
// name splitting and the call-log reader. Whatever comes in, what is handed on is clean text.
#include "calls/CallLogFile.h"
#include "calls/CallerName.h"
#include "common/CleanText.h"
#include "modem/CallerIdLine.h"
#include "modem/ModemReceiver.h"
#include "numbers/NumberPlan.h"
#include "numbers/PhoneNumber.h"

#include <QCoreApplication>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    ModemReceiver receiver;
    receiver.setNumberPlan(NumberPlan(QStringLiteral("US"), QStringLiteral("613")));
    auto mustBeClean = [](const QString& text) {
        if (!CleanText::isClean(text))
            __builtin_trap();
    };
    QObject::connect(&receiver, &ModemReceiver::eventLine, mustBeClean);
    QObject::connect(&receiver, &ModemReceiver::recordComplete, [&](const CallerId& record) {
        for (const QString& field : {record.date, record.time, record.number, record.name})
            mustBeClean(field);
    });
    const qsizetype step = size > 0 ? 1 + data[0] % 17 : 1;
    for (qsizetype at = 0; at < bytes.size(); at += step)
        receiver.receive(bytes.mid(at, step));
    for (int tick = 0; tick < 11; ++tick)
        receiver.pollTick();

    const QString text = QString::fromUtf8(bytes);
    (void)CallerIdLine::decodeMesg(CallerIdLine::value(text));
    (void)PhoneNumber::formatNumber(text, QStringLiteral("613"));
    for (const NumberPlan& plan : {NumberPlan(QStringLiteral("US"), QStringLiteral("613")),
                                   NumberPlan(QStringLiteral("GB"))}) {
        (void)plan.display(text);
        (void)plan.key(text);
        (void)plan.international(text);
    }
    (void)CallerName::split(text);
    for (const QString& field : CallLogFile::readFields(bytes)) {
        mustBeClean(field);
        if (field.size() > text.size() + bytes.size())
            __builtin_trap();
    }
    return 0;
}
