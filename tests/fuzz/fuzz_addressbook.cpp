// Feeds arbitrary bytes to the vCard reader (and writes back and reads again what it read) and to
// the matching of searches.
#include "addressbook/ContactQuery.h"
#include "addressbook/VCard.h"
#include "numbers/NumberPlan.h"

#include <algorithm>
#include <cstdint>

static qsizetype named(const VCard& card)
{
    return std::count_if(card.properties.cbegin(), card.properties.cend(),
                         [](const VCard::Property& p) { return !p.name.isEmpty(); });
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QList<VCard> cards = VCard::parse(bytes);
    for (const VCard& card : cards) {
        (void)card.firstName();
        (void)card.company();
        (void)card.businessPhone();
        // Unchanged, a card is written back as the bytes it was read from (a 2.1 card and one
        // without its END are written anew, lines that are not properties left out of a 2.1
        // card); either way it reads back as the same card.
        const QByteArray written = card.serialize();
        if (card.version != "2.1" && !card.endRaw.isEmpty() &&
            written != bytes.mid(card.rawBegin, card.rawEnd - card.rawBegin))
            __builtin_trap();
        const QList<VCard> again = VCard::parse(written);
        if (again.size() != 1 || named(again.first()) != named(card))
            __builtin_trap();
        VCard changed = card;
        changed.setNames(changed.firstName(), changed.lastName());
        changed.setBusinessPhone(QStringLiteral("+1 (613) 555-1234"));
        const QString phone = VCard::parse(changed.serialize()).value(0).businessPhone();
        if (NumberPlan(QStringLiteral("US")).key(phone) != "+16135551234")
            __builtin_trap();
    }
    // A query made of the input's own words matches its own cards without failing.
    const QStringList words = QString::fromUtf8(bytes).split(u'\n');
    const ContactQuery query =
        ContactQuery::nameAndNumber(words.value(0), words.value(1), words.value(2));
    const NumberPlan plans[] = {NumberPlan(QStringLiteral("US"), QStringLiteral("613")),
                                NumberPlan(QStringLiteral("GB"))};
    for (const NumberPlan& plan : plans) {
        for (const VCard& card : cards) {
            (void)query.matches(card, plan);
            (void)ContactQuery::companyNamed(words.value(3)).matches(card, plan);
        }
        (void)query.matches(VCard(), plan);
    }
    return 0;
}
