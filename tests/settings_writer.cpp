// Writes COUNT entries "<prefix><n>" to section "Stress" of the store, one SaveSetting each, the
// way ringdesk and config each write their own entries.
#include "SettingsStore.h"

#include <QCoreApplication>
#include <QStringList>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return 2;
    const QString prefix = args.at(1);
    const int count = args.at(2).toInt();
    for (int i = 0; i < count; ++i) {
        if (!SaveSetting(QStringLiteral("ZodoDE"), QStringLiteral("Stress"),
                         prefix + QString::number(i), QString::number(i)))
            return 1;
    }
    return 0;
}
