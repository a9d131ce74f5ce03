// Feeds arbitrary bytes to the vCard reader (and writes back and reads again what it read) and to
// the search filter parser and matcher.
#include "ContactFilter.h"
#include "VCard.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QList<VCard> cards = VCard::parse(bytes);
    for (const VCard& card : cards) {
        (void)card.firstName();
        (void)card.company();
        (void)card.businessPhone();
        // What is written must read back as the same card.
        const QList<VCard> again = VCard::parse(card.toVCard30());
        if (again.size() != 1 || again.first().properties.size() != card.properties.size())
            __builtin_trap();
        VCard changed = card;
        changed.setNames(changed.firstName(), changed.lastName());
        changed.setBusinessPhone(QStringLiteral("+1 (613) 555-1234"));
        if (VCard::parse(changed.toVCard30()).value(0).businessPhone() != "+1 (613) 555-1234")
            __builtin_trap();
    }
    const std::optional<ContactFilter> filter = ContactFilter::parse(QString::fromUtf8(bytes));
    if (filter) {
        for (const VCard& card : cards)
            (void)filter->matches(card);
        (void)filter->matches(VCard());
    }
    return 0;
}
