// Writes COUNT entries "<prefix><n>" to section "Stress" of the store, one save each, the way
// ringdesk and config each write their own entries. A save that fails says why and ends it.
#include "common/SettingsStore.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return 2;
    const QString prefix = args.at(1);
    const int count = args.at(2).toInt();
    SettingsStore store(QStringLiteral("ZodoDE"));
    for (int i = 0; i < count; ++i) {
        if (!store.save(QStringLiteral("Stress"), prefix + QString::number(i),
                        QString::number(i))) {
            std::fprintf(stderr, "%s\n", qPrintable(store.lastError()));
            return 1;
        }
    }
    return 0;
}
