#include "HostProbe.h"

#include <QCoreApplication>
#include <QLibrary>

bool CheckOutlookObject(QString* problem)
{
    return CheckOutlookObject(QCoreApplication::applicationDirPath() +
                                  QStringLiteral("/../lib/ringdesk/hostprobe"),
                              problem);
}

bool CheckOutlookObject(const QString& path, QString* problem)
{
    QLibrary library(path);
    if (!library.load()) {
        if (problem)
            *problem = library.errorString();
        return false;
    }
    using Probe = short (*)();
    const auto probe = reinterpret_cast<Probe>(library.resolve("CheckOutlookObject"));
    if (!probe) {
        if (problem)
            *problem = library.errorString();
        return false;
    }
    return probe() != 0;
}
