// Feeds arbitrary bytes to the reader of blocked.txt and allowed.txt, files a user edits by
// hand: every line is an entry or a problem, a problem's text is clean, and matching any caller
// against what was read never fails.
#include "calls/ScreeningList.h"
#include "common/CleanText.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const NumberPlan plans[] = {NumberPlan(QStringLiteral("US"), QStringLiteral("613")),
                                       NumberPlan(QStringLiteral("GB"), QString())};
    if (size < 1)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    ScreeningList list;
    list.readText(bytes, plans[data[0] % 2]);
    const qsizetype lines = bytes.count('\n') + 1;
    if (list.entryTexts().size() + list.problems().size() > lines)
        __builtin_trap();
    for (const ScreeningList::Problem& problem : list.problems())
        if (!CleanText::isClean(problem.text) || problem.reason.isEmpty() || problem.line < 1)
            __builtin_trap();
    for (const QString& entry : list.entryTexts())
        if (!ScreeningList::problemWith(entry, plans[data[0] % 2]).isEmpty())
            __builtin_trap();
    const QString text = QString::fromUtf8(bytes.left(40));
    (void)list.match(QString(), text, text);
    (void)list.match(QStringLiteral("+16135550199"), QString(),
                     QStringLiteral("ACME TELEMARKETING"));
    return 0;
}
