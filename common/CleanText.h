#pragma once

#include <QString>

// The one rule for text that comes from outside (a modem, the broker, an address book, a file)
// before it is logged, shown, echoed or stored. Whoever places a call chooses the caller-ID name,
// and anyone on the household's broker may publish a call: such text must not carry terminal
// escapes to whoever reads the event list in a terminal or the journal, nor a line end that
// would add a record of its own to a log, nor a direction control that shows the rest of a line
// reversed or apart.
namespace CleanText {

// Control characters dropped (C0 but tab, DEL, C1, the bidirectional embeddings, overrides and
// isolates U+202A-U+202E and U+2066-U+2069); every run of line ends (CR, LF, NEL, and the
// Unicode line and paragraph separators) becomes one blank.
QString field(const QString& text);
bool isClean(QStringView text);

// At most `length` UTF-16 units, never half a character.
QString truncated(const QString& text, qsizetype length);

} // namespace CleanText
