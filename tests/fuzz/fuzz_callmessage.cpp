// Feeds arbitrary bytes to the reader of calls from the household's broker, where anyone may
// publish: what it takes must be clean, within the window's limits, and read back the same.
#include "bus/CallMessage.h"
#include "common/CleanText.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<CallRecord> call = CallMessage::fromJson(bytes);
    if (!call)
        return 0;
    const QString fields[] = {call->id,   call->date, call->time,  call->number,
                              call->name, call->line, call->origin};
    for (const QString& field : fields)
        if (!CleanText::isClean(field) || field.size() > 256)
            __builtin_trap();
    if (call->id.trimmed().isEmpty() || call->date.trimmed().isEmpty())
        __builtin_trap();
    const std::optional<CallRecord> again =
        CallMessage::fromJson(CallMessage::toJson(*call, call->origin));
    if (!again || again->id != call->id || again->name != call->name ||
        again->number != call->number || again->withheld != call->withheld)
        __builtin_trap();
    return 0;
}
