#include "extractrec.h"

#include "fileio.h"

#include <QDir>
#include <QFile>

// Outside any namespace, as Q_INIT_RESOURCE requires: the templates live in a static library,
// whose resources register only when something asks for them.
static void initTemplates()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(templates);
        return true;
    }();
    Q_UNUSED(done);
}

namespace {

// The entry of `dir` whose name is `name` up to letter case; the exact name wins.
QString findEntry(const QDir &dir, const QString &name)
{
    if (name.isEmpty())
        return {};
    const QStringList entries = dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    if (entries.contains(name))
        return name;
    for (const QString &entry : entries)
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    return {};
}

} // namespace

std::optional<QByteArray> embeddedResource(const QString &type, const QString &name)
{
    initTemplates();
    const QString typeDir = findEntry(QDir(QStringLiteral(":/")), type);
    if (typeDir.isEmpty())
        return std::nullopt;
    const QDir dir(QStringLiteral(":/") + typeDir);
    const QString entry = findEntry(dir, name);
    if (entry.isEmpty())
        return std::nullopt;
    QFile file(dir.filePath(entry));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt; // a folder of that name, not a resource
    return file.readAll();
}

bool Extractrec(const QString &type, const QString &name, const QString &path, QString *error)
{
    const std::optional<QByteArray> bytes = embeddedResource(type, name);
    if (!bytes) {
        if (error)
            *error = QStringLiteral("no embedded resource %1/%2").arg(type, name);
        return false;
    }
    return fileio::writeFile(path, *bytes, error);
}
