#include "outpic.h"

#include "fileio.h"
#include "integertext.h"
#include "mywil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QtEndian>
#include <algorithm>
#include <cstring>

namespace outpic {

QString pictureFileName(int n)
{
    return QString::asprintf("%.6d.bmp", n);
}

QString placementFileName(int n)
{
    return QString::asprintf("%.6d.txt", n);
}

QString placementsFolderName()
{
    return QStringLiteral("Placements");
}

QString withSeparator(const QString &folder)
{
    QString path = QDir::toNativeSeparators(folder);
    if (!path.endsWith(QDir::separator()))
        path += QDir::separator();
    return path;
}

QByteArray placementText(int px, int py)
{
    return QByteArray::number(px) + "\r\n" + QByteArray::number(py) + "\r\n";
}

std::optional<Placement> parsePlacementText(const QByteArray &bytes)
{
    QByteArrayView text(bytes);
    // Editors that save "UTF-8 with signature" put three bytes in front of the first number.
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.sliced(3);
    QByteArrayView lines[2];
    int found = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size() && found < 2; ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n')
            continue;
        lines[found++] = text.sliced(start, i - start);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    // Text behind the last line break is a line of its own.
    if (found < 2 && start < text.size())
        lines[found++] = text.sliced(start);
    if (found < 2)
        return std::nullopt;
    const auto value = [](QByteArrayView line) {
        return qint16(lenientInteger(QString::fromLatin1(line)));
    };
    return Placement{value(lines[0]), value(lines[1])};
}

PlacementFile readPlacementFile(const QString &path)
{
    PlacementFile result;
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.status = PlacementFile::Unreadable;
        result.error =
            QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return result;
    }
    // Two short lines are all that is read; a stray huge file is not taken in whole.
    const QByteArray bytes = file.read(64 * 1024);
    if (const auto placement = parsePlacementText(bytes)) {
        result.status = PlacementFile::Read;
        result.placement = *placement;
    } else {
        result.status = PlacementFile::TooShort;
        result.error = QCoreApplication::translate("outpic", "%1: fewer than two lines")
                           .arg(QDir::toNativeSeparators(path));
    }
    return result;
}

bool picturesInOrder(const QString &a, const QString &b)
{
    const int c = QString::compare(a, b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

PictureFolder::Listing PictureFolder::Listing::of(const QString &folder, bool folders)
{
    Listing listing;
    QDir dir(folder);
    const QDir::Filters filter =
        (folders ? QDir::Dirs | QDir::NoDotAndDotDot : QDir::Files) | QDir::Hidden | QDir::System;
    QStringList names = dir.entryList(filter, QDir::NoSort);
    std::sort(names.begin(), names.end(), picturesInOrder);
    // Backwards, so that of several names differing only in case the first one stays.
    for (auto it = names.crbegin(); it != names.crend(); ++it) {
        listing.exact.insert(*it);
        listing.folded.insert(it->toCaseFolded(), *it);
    }
    return listing;
}

QString PictureFolder::Listing::find(const QString &folder, const QString &name) const
{
    if (exact.contains(name))
        return folder + name;
    const auto it = folded.constFind(name.toCaseFolded());
    return it == folded.constEnd() ? QString() : folder + *it;
}

PictureFolder::PictureFolder(const QString &folder) : m_path(withSeparator(folder))
{
    const QFileInfo info(m_path);
    m_exists = info.isDir();
    if (!m_exists)
        return;
    m_files = Listing::of(m_path, false);
    m_folders = Listing::of(m_path, true);
    // Hidden and system files are no pictures, although they can be found by name.
    const QStringList ordinary =
        QDir(m_path).entryList({QStringLiteral("*")}, QDir::Files, QDir::NoSort);
    for (const QString &name : ordinary)
        if (name.endsWith(QLatin1String(".bmp"), Qt::CaseInsensitive))
            m_pictures << name;
    std::sort(m_pictures.begin(), m_pictures.end(), picturesInOrder);
}

QString PictureFolder::error() const
{
    return m_exists ? QString()
                    : QCoreApplication::translate("outpic", "%1: no such folder")
                          .arg(QDir::toNativeSeparators(m_path));
}

QString PictureFolder::findFile(const QString &name) const
{
    return m_files.find(m_path, name);
}

QString PictureFolder::placementsFolder() const
{
    if (!m_placementsFolder) {
        const QString found = m_folders.find(m_path, placementsFolderName());
        m_placementsFolder = found.isEmpty() ? QString() : withSeparator(found);
    }
    return *m_placementsFolder;
}

QString PictureFolder::placementFileFor(const QString &pictureName) const
{
    const QString folder = placementsFolder();
    if (folder.isEmpty())
        return {};
    if (!m_placementFiles)
        m_placementFiles = Listing::of(folder, false);
    const qsizetype dot = pictureName.lastIndexOf(u'.');
    const QString base = dot < 0 ? pictureName : pictureName.left(dot);
    return m_placementFiles->find(folder, base + QStringLiteral(".txt"));
}

InputRefusal checkExportInput(const TWIL &wil, std::optional<qint32> begin,
                              std::optional<qint32> end, const QString &folder, ExportRange &range)
{
    if (!wil.isOpen())
        return InputRefusal::refused(msgOpenLibraryFirst());
    if (!begin)
        return InputRefusal::refused(msgBadNumber(), QStringLiteral("editBegin"));
    if (!end)
        return InputRefusal::refused(msgBadNumber(), QStringLiteral("EditEnd"));
    ExportRange r{std::max(*begin, 0), *end};
    if (r.end >= wil.ImageCount())
        r.end = wil.ImageCount() - 1;
    // An end just below the beginning is an empty range (as for an empty library); one further
    // below is a mistyped range.
    if (qint64(r.end) < qint64(r.begin) - 1)
        return InputRefusal::refused(msgBadNumber(), QStringLiteral("EditEnd"));
    if (folder.isEmpty())
        return InputRefusal::refused(msgNoExportFolder());
    range = r;
    return {};
}

namespace {

// Where a file of this name is to be written: an existing file whose name differs only in
// letter case is replaced, as on a file system that ignores case, so that re-exporting never
// leaves two pictures of one number.
QString targetPath(const QString &folder, const PictureFolder::Listing &listing,
                   const QString &name)
{
    const QString found = listing.find(folder, name);
    return found.isEmpty() ? folder + name : found;
}

// The folder the placement files go to: the Placements sub-folder, made when there is none. One
// that is a link (its files would be written wherever it points) or no folder at all is refused.
bool placementsForExport(const PictureFolder &folder, QString *placements, QString *error)
{
    const QString path = folder.path();
    // Whatever stands under the exact name counts, a file or a dangling link too; a name that
    // differs in case counts when it is a folder (or a link to one).
    QString found = path + placementsFolderName();
    const QFileInfo exact(found);
    if (!exact.exists() && !exact.isSymLink()) {
        found = folder.placementsFolder();
        found.chop(1); // the separator: a link is looked at, not followed
    }
    if (!found.isEmpty()) {
        const QFileInfo info(found);
        const QString name = QDir::toNativeSeparators(found);
        QString why;
        if (info.isSymLink())
            why = QCoreApplication::translate(
                      "outpic", "%1 is a link: the placement files are not written through it")
                      .arg(name);
        else if (!info.isDir())
            why = QCoreApplication::translate("outpic", "%1 is not a folder").arg(name);
        if (!why.isEmpty()) {
            if (error)
                *error = why;
            return false;
        }
        *placements = withSeparator(found);
        return true;
    }
    if (!QDir(path).mkdir(placementsFolderName())) {
        if (error)
            *error = QCoreApplication::translate("outpic", "%1%2: cannot be created (%3)")
                         .arg(QDir::toNativeSeparators(path), placementsFolderName(),
                              fileio::folderRefusesWrites(path));
        return false;
    }
    *placements = withSeparator(path + placementsFolderName());
    return true;
}

// The 16-bit RGB565 bitmap file of `image` into `out`, whose memory is reused from one image
// to the next (the bytes are those of encodeBitmap16). Empty for an image without pixels.
void encodeBitmapInto(const QImage &image, QByteArray &out)
{
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) {
        out.clear();
        return;
    }
    const QImage img = image.format() == QImage::Format_RGB16
                           ? image
                           : image.convertToFormat(QImage::Format_RGB16);
    const int width = img.width(), height = img.height();
    const qint64 pixelBytes = qint64(width) * 2;
    const qint64 rowBytes = (pixelBytes + 3) / 4 * 4;
    out.resize(66 + rowBytes * height);
    auto *header = reinterpret_cast<quint8 *>(out.data());
    InitBitmapHeader16(header);
    qToLittleEndian<quint32>(quint32(out.size()), header + 2);
    qToLittleEndian<qint32>(width, header + 18);
    qToLittleEndian<qint32>(height, header + 22);
    qToLittleEndian<quint32>(quint32(rowBytes * height), header + 34);
    char *dst = out.data() + 66;
    for (int row = 0; row < height; ++row, dst += rowBytes) {
        const auto *src = reinterpret_cast<const quint16 *>(img.constScanLine(height - 1 - row));
        if constexpr (QSysInfo::ByteOrder == QSysInfo::LittleEndian)
            std::memcpy(dst, src, size_t(pixelBytes));
        else
            qToLittleEndian<quint16>(src, width, dst);
        std::memset(dst + pixelBytes, 0, size_t(rowBytes - pixelBytes));
    }
}

} // namespace

bool exportPictures(TWIL &wil, const QString &folder, const ExportRange &range,
                    const ProgressFn &progress, QString *error, QList<int> *undecodable)
{
    const QString path = withSeparator(folder);
    if (!QFileInfo(path).isDir()) {
        if (error)
            *error = QCoreApplication::translate("outpic", "%1: no such folder")
                         .arg(QDir::toNativeSeparators(path));
        return false;
    }
    const PictureFolder existing(path);
    QString placements;
    if (!placementsForExport(existing, &placements, error))
        return false;
    const PictureFolder::Listing placementFiles = PictureFolder::Listing::of(placements, false);
    const PictureFolder::Listing pictureFiles = PictureFolder::Listing::of(path, false);

    const int count = std::max(range.end - range.begin + 1, 0);
    if (progress)
        progress(0, count);
    QByteArray bytes;
    for (int k = 0; k < count; ++k) {
        const int n = range.begin + k;
        if (progress)
            progress(k + 1, count);
        // Every fetch seeks the library file itself, so events processed in between (a
        // repaint decoding another image) cannot disturb it.
        const QImage *bitmap = wil.GetBitmap(n);
        int px = wil.px;
        int py = wil.py;
        if (!bitmap || !wil.lastDecodeOk()) {
            // The component keeps the previous picture when a record cannot be decoded;
            // exporting that under this number would be a wrong picture.
            const RecordInfo info = wil.inspectRecord(n);
            px = info.px;
            py = info.py;
            if (undecodable)
                undecodable->append(n);
            bytes.clear();
        } else {
            encodeBitmapInto(*bitmap, bytes);
        }
        // Each file is made anew and renamed over the old one: a link planted in the folder is
        // replaced, never written through.
        if (!fileio::replaceFile(targetPath(path, pictureFiles, pictureFileName(n)), bytes, error))
            return false;
        if (!fileio::replaceFile(targetPath(placements, placementFiles, placementFileName(n)),
                                 placementText(qint16(px), qint16(py)), error))
            return false;
    }
    return true;
}

} // namespace outpic
