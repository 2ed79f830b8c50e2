// Commands on one library: inspect it, render one image, append, replace and re-place images.

#include "imagelimits.h"
#include "mywil.h"
#include "pictureloader.h"
#include "wiltool.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace wiltool {
namespace {

QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// An open library for the length of one command, which reports a failure once: `refuse` stays
// silent when the opening already said why it failed.
class Session
{
  public:
    // Commands that only read open the file for reading, so they work on a library that is
    // locked or write-protected and can never change it.
    int open(const QString &path, bool forEditing)
    {
        if (openLibrary(m_wil, path, forEditing) == Ok)
            return Ok;
        m_reported = true;
        return Failed;
    }

    int refuse(const QString &message)
    {
        if (m_reported)
            return Failed;
        m_reported = true;
        return fail(message);
    }

    // Ok when image n exists; otherwise the refusal.
    int checkImage(qint32 n)
    {
        if (n >= 0 && n < m_wil.ImageCount())
            return Ok;
        if (m_wil.ImageCount() == 0)
            return refuse(
                QStringLiteral("image %1 out of range: the library has no images").arg(n));
        return refuse(
            QStringLiteral("image %1 out of range (0-%2)").arg(n).arg(m_wil.ImageCount() - 1));
    }

    int checkWritable()
    {
        QString why;
        return m_wil.canEdit(&why) ? Ok : refuse(why);
    }

    // Decodes image n; false when its record cannot be decoded.
    bool decode(int n)
    {
        if (m_wil.inspectRecord(n).kind == RecordInfo::Invalid)
            return false;
        m_wil.LoadBitmap(n);
        return m_wil.lastDecodeOk();
    }

    TWIL &wil() { return m_wil; }

  private:
    TWIL m_wil;
    bool m_reported = false;
};

// An image number or placement value; a word that is not a number is a usage error.
std::optional<qint32> numberArg(const char *command, const QString &what, const QString &text,
                                int *exitCode)
{
    const auto n = parseNumber(text);
    if (!n)
        *exitCode = usage(command, QStringLiteral("%1 is not a number: \"%2\"").arg(what, text));
    return n;
}

// A picture to write into a library; refuses what cannot be loaded.
std::optional<LoadedPicture> pictureArg(Session &session, const QString &path, int *exitCode)
{
    LoadedPicture picture = loadPicture(path);
    if (picture.status == LoadedPicture::Unreadable) {
        *exitCode = session.refuse(
            picture.error.isEmpty() ? QStringLiteral("%1: cannot be loaded").arg(nativePath(path))
                                    : picture.error);
        return std::nullopt;
    }
    return picture;
}

int runInfo(const QStringList &args)
{
    const ParsedArgs p = parseArgs(args, {}, {QStringLiteral("--list")});
    if (!p.ok)
        return usage("info", p.error);
    if (p.positional.size() != 1)
        return usage("info", QStringLiteral("expected LIB"));
    Session session;
    if (const int rc = session.open(p.positional[0], false))
        return rc;
    TWIL &wil = session.wil();
    out(QStringLiteral("images: %1").arg(wil.ImageCount()));
    out(QStringLiteral("filetype: %1").arg(wil.FileType));
    out(QStringLiteral("offset: %1").arg(wil.OffSet));
    out(QStringLiteral("table: %1").arg(wil.indexTableStart()));
    if (!p.has(QStringLiteral("--list")))
        return Ok;
    for (int n = 0; n < wil.ImageCount(); ++n) {
        const RecordInfo info = wil.inspectRecord(n);
        const qint64 offset = wil.Offsets.value(n);
        if (info.hasPixels() && imagelimits::isTooLarge(info.width, info.height)) {
            out(QStringLiteral("%1\ttoo large\t%2\t%3").arg(n).arg(offset).arg(
                imagelimits::tooLargeText(info.width, info.height)));
            continue;
        }
        if (!session.decode(n)) {
            out(QStringLiteral("%1\tundecodable\t%2").arg(n).arg(offset));
            continue;
        }
        // Without pixels the component keeps the placement of an earlier image; the record's
        // own pair is the one that belongs to this image.
        const QImage &bitmap = wil.currentBitmap();
        const bool empty = bitmap.width() <= 0 || bitmap.height() <= 0;
        out(QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6")
                .arg(n)
                .arg(empty ? 0 : bitmap.width())
                .arg(empty ? 0 : bitmap.height())
                .arg(info.px)
                .arg(info.py)
                .arg(offset));
    }
    return Ok;
}

int runRender(const QStringList &args)
{
    const ParsedArgs p = parseArgs(args, {}, {});
    if (!p.ok)
        return usage("render", p.error);
    if (p.positional.size() != 3)
        return usage("render", QStringLiteral("expected LIB N OUT.bmp"));
    int rc = Ok;
    const auto n = numberArg("render", QStringLiteral("N"), p.positional[1], &rc);
    if (!n)
        return rc;
    const QString outPath = p.positional[2];
    Session session;
    if ((rc = session.open(p.positional[0], false)) || (rc = session.checkImage(*n)))
        return rc;
    TWIL &wil = session.wil();
    // Writing the picture over the library or its index would destroy the very data read.
    const QString target = QFileInfo(outPath).absoluteFilePath();
    for (const QString &own : {wil.FileName, wil.IndexFileName})
        if (!own.isEmpty() && QFileInfo(own).absoluteFilePath() == target)
            return session.refuse(
                QStringLiteral("%1 is the library's own file").arg(nativePath(outPath)));
    if (const RecordInfo info = wil.inspectRecord(*n);
        info.hasPixels() && imagelimits::isTooLarge(info.width, info.height))
        return session.refuse(QStringLiteral("image %1 is too large: %2")
                                  .arg(*n)
                                  .arg(imagelimits::tooLargeText(info.width, info.height)));
    if (!session.decode(*n))
        return session.refuse(QStringLiteral("image %1 cannot be decoded").arg(*n));
    const QByteArray bytes = encodeBitmap16(wil.currentBitmap());
    // Written whole or not at all: a failed render never leaves a truncated picture behind.
    QSaveFile file(outPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return session.refuse(
            QStringLiteral("%1: %2").arg(nativePath(outPath), file.errorString()));
    return Ok;
}

int runAppend(const QStringList &args)
{
    const ParsedArgs p = parseArgs(args, {QStringLiteral("--xy")}, {});
    if (!p.ok)
        return usage("append", p.error);
    if (p.positional.size() != 2)
        return usage("append", QStringLiteral("expected LIB PICTURE"));
    QPair<qint16, qint16> xy(0, 0);
    if (const auto text = p.value(QStringLiteral("--xy"))) {
        const auto parsed = parseXY(*text);
        if (!parsed)
            return usage("append", QStringLiteral("--xy wants X,Y, not \"%1\"").arg(*text));
        xy = *parsed;
    }
    Session session;
    int rc = Ok;
    if ((rc = session.open(p.positional[0], true)) || (rc = session.checkWritable()))
        return rc;
    const auto picture = pictureArg(session, p.positional[1], &rc);
    if (!picture)
        return rc;
    TWIL &wil = session.wil();
    const int number = wil.ImageCount();
    // A zero-length picture is how an image without pixels is exported: it comes back empty.
    const bool ok = picture->status == LoadedPicture::Empty
                        ? wil.AddEmpty()
                        : wil.AddBitmap(picture->image, xy.first, xy.second);
    if (!ok)
        return session.refuse(wil.errorString());
    out(QStringLiteral("image: %1").arg(number));
    return Ok;
}

int runReplace(const QStringList &args)
{
    const ParsedArgs p = parseArgs(args, {}, {});
    if (!p.ok)
        return usage("replace", p.error);
    if (p.positional.size() != 3)
        return usage("replace", QStringLiteral("expected LIB N PICTURE"));
    int rc = Ok;
    const auto n = numberArg("replace", QStringLiteral("N"), p.positional[1], &rc);
    if (!n)
        return rc;
    Session session;
    if ((rc = session.open(p.positional[0], true)) || (rc = session.checkImage(*n)) ||
        (rc = session.checkWritable()))
        return rc;
    const auto picture = pictureArg(session, p.positional[2], &rc);
    if (!picture)
        return rc;
    TWIL &wil = session.wil();
    // A zero-length picture (an exported image without pixels) gives the empty record.
    if (!wil.ReplaceBitmap(*n, picture->image))
        return session.refuse(wil.errorString());
    return Ok;
}

int runSetXY(const QStringList &args)
{
    const ParsedArgs p = parseArgs(args, {}, {});
    if (!p.ok)
        return usage("setxy", p.error);
    if (p.positional.size() != 4)
        return usage("setxy", QStringLiteral("expected LIB N X Y"));
    int rc = Ok;
    const auto n = numberArg("setxy", QStringLiteral("N"), p.positional[1], &rc);
    if (!n)
        return rc;
    const auto x = numberArg("setxy", QStringLiteral("X"), p.positional[2], &rc);
    if (!x)
        return rc;
    const auto y = numberArg("setxy", QStringLiteral("Y"), p.positional[3], &rc);
    if (!y)
        return rc;
    Session session;
    if ((rc = session.open(p.positional[0], true)) || (rc = session.checkImage(*n)) ||
        (rc = session.checkWritable()))
        return rc;
    TWIL &wil = session.wil();
    const RecordInfo before = wil.inspectRecord(*n);
    if (!wil.SetImagePx(*n, qint16(*x)))
        return session.refuse(wil.errorString());
    if (!wil.SetImagePy(*n, qint16(*y))) {
        const QString why = wil.errorString();
        // Half a placement is worse than none: put px back.
        wil.SetImagePx(*n, qint16(before.px));
        return session.refuse(why);
    }
    return Ok;
}

const bool registered =
    registerCommand({"info", "LIB [--list]",
                     "Counts and layout of a library; with --list, each "
                     "image's size, placement and record offset.",
                     runInfo}) &&
    registerCommand({"render", "LIB N OUT.bmp",
                     "Writes image N as a 16-bit bitmap file (0 bytes for "
                     "an image without pixels).",
                     runRender}) &&
    registerCommand({"append", "LIB PICTURE [--xy X,Y]",
                     "Appends a picture as a new last image, placed at X,Y.", runAppend}) &&
    registerCommand({"replace", "LIB N PICTURE",
                     "Replaces image N's pixels by a picture; its placement "
                     "stays.",
                     runReplace}) &&
    registerCommand({"setxy", "LIB N X Y",
                     "Sets image N's placement (values keep their low 16 "
                     "bits).",
                     runSetXY});

} // namespace
} // namespace wiltool
