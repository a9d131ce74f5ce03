// Feeds arbitrary bytes to the settings file's parser, as a file edited by hand may hold
// anything: the input is the file, then (after NUL bytes) a section, a key and a value to store.
// Whatever the file, a stored value reads back as it was, and a rewrite reads as what it wrote.
#include "common/IniDocument.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QList<QByteArray> parts = bytes.split('\0');
    IniDocument document = IniDocument::parse(parts.value(0));
    const QString section = QString::fromUtf8(parts.value(1));
    const QString key = QString::fromUtf8(parts.value(2));
    const QString value = QString::fromUtf8(parts.value(3));
    (void)document.value(section, key);
    // What is written is read again whole: no line of it is bad, and once written (stray
    // carriage returns of blank lines dropped) it writes the same again.
    const QByteArray first = IniDocument::parse(document.serialize()).serialize();
    const IniDocument reread = IniDocument::parse(first);
    if (!reread.badLines().isEmpty() || reread.serialize() != first)
        __builtin_trap();
    if (key.trimmed().isEmpty())
        return 0;
    document.setValue(section, key, value);
    const IniDocument stored = IniDocument::parse(document.serialize());
    if (stored.value(section, key) != value)
        __builtin_trap();
    return 0;
}
