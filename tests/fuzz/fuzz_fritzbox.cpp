// Feeds arbitrary bytes, cut into two reads at a place the input chooses, to the reader of a
// FRITZ!Box's call-monitor lines, which anyone who answers on the box's address may send: every
// call it reports has an id, a valid time and clean fields, every end belongs to a call that
// rang and lasted 0 to 24 hours, and the same bytes in one read or two give the same calls.
#include "common/CleanText.h"
#include "sources/FritzBoxMonitor.h"

#include <cstdint>

namespace {

QStringList read(const QList<QByteArray>& parts)
{
    FritzBoxMonitor box;
    QStringList seen;
    QSet<QString> ringing;
    QObject::connect(&box, &FritzBoxMonitor::ringing,
                     [&](const QString& id, const QDateTime& when, const QString& caller,
                         const QString& called, const QString& line) {
                         if (id.isEmpty() || !when.isValid() || !CleanText::isClean(caller) ||
                             !CleanText::isClean(called) || !CleanText::isClean(line))
                             __builtin_trap();
                         ringing.insert(id);
                         seen << QStringLiteral("ring ") + id + u' ' + caller + u' ' + line;
                     });
    QObject::connect(&box, &FritzBoxMonitor::ended, [&](const QString& id, bool, int seconds) {
        if (!ringing.contains(id) || seconds < 0 || seconds > 24 * 3600)
            __builtin_trap();
        seen << QStringLiteral("end ") + id + u' ' + QString::number(seconds);
    });
    QObject::connect(&box, &FritzBoxMonitor::eventLine, [](const QString& line) {
        if (!CleanText::isClean(line))
            __builtin_trap();
    });
    for (const QByteArray& part : parts)
        box.receive(part);
    return seen;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const qsizetype cut = bytes.isEmpty() ? 0 : data[0] % (bytes.size() + 1);
    if (read({bytes}) != read({bytes.left(cut), bytes.mid(cut)}))
        __builtin_trap();
    return 0;
}
