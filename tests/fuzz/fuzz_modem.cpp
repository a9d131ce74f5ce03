// Feeds arbitrary bytes through everything that reads modem or caller text: the receive handler
// with the event parser and MESG decoding (in chunks cut where the input says), number layout,
// name splitting, the filter quoting and the call-log reader.
#include "calls/CallLogFile.h"
#include "calls/ContactFilters.h"
#include "modem/ModemLine.h"
#include "modem/ModemReceiver.h"
#include "numbers/PhoneNumber.h"
#include "state/MonitorState.h"
#include "state/WindowControl.h"

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

    MonitorState state;
    WindowControl window;
    ModemReceiver receiver(state, window);
    state.AreaCode = QStringLiteral("613");
    state.setCheck(4, 1);
    const qsizetype step = size > 0 ? 1 + data[0] % 17 : 1;
    for (qsizetype at = 0; at < bytes.size(); at += step)
        receiver.receive(bytes.mid(at, step));
    for (int tick = 0; tick < 11; ++tick)
        receiver.Timer2Tick();

    const QString text = QString::fromUtf8(bytes);
    (void)ModemLine::decodeMesg(ModemLine::value(text));
    (void)PhoneNumber::FormatPhoneNumber(text, state.AreaCode);
    const PhoneNumber::Names names = PhoneNumber::GetFirstLastName(text);
    const QString filter = ContactFilters::nameOnly(names.last, names.first);
    if (filter.count(u'"') % 2 != 0)
        __builtin_trap(); // quoting must always leave the quotes balanced
    const QStringList fields = CallLogFile::readFields(bytes);
    for (const QString& field : fields) {
        if (field.size() > text.size() + bytes.size())
            __builtin_trap();
    }
    return 0;
}
