#include "addressbook/HostProbe.h"

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
        library.unload();
        return false;
    }
    const bool available = probe() != 0;
    // Asked once at start; its memory is not needed for the rest of the run.
    library.unload();
    return available;
}
