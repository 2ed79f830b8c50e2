// Writes the sample library: make_sample FOLDER (gives FOLDER/sample.wil and FOLDER/sample.WIX).
// The committed samples/ are this program's output; a test keeps the two identical.

#include "samplelibrary.h"

#include <QCoreApplication>
#include <QDir>
#include <QSaveFile>
#include <cstdio>

static bool save(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    std::fprintf(stderr, "make_sample: %s: %s\n", qPrintable(QDir::toNativeSeparators(path)),
                 qPrintable(file.errorString()));
    return false;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: make_sample FOLDER\n");
        return 2;
    }
    const QDir folder(args[1]);
    const sample::Files files = sample::makeSampleLibrary();
    return save(folder.filePath(QStringLiteral("sample.wil")), files.library) &&
                   save(folder.filePath(QStringLiteral("sample.WIX")), files.index)
               ? 0
               : 1;
}
