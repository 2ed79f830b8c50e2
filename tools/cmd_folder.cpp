// Commands between a library and a picture folder: export a range of images, and bring a folder
// in (append, insert, replace, pixels only, placements only). Refused input is reported with
// the words of the editor's windows.

#include "addpic.h"
#include "imagelimits.h"
#include "mywil.h"
#include "outpic.h"
#include "wiltool.h"

#include <QDir>
#include <QFileInfo>

namespace wiltool {
namespace {

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

int exportCommand(const QStringList &args)
{
    const ParsedArgs a = parseArgs(args, {QStringLiteral("--range")}, {});
    if (!a.ok || a.positional.size() != 2)
        return usage("export");
    const QString dir = a.positional[1];
    TWIL wil;
    if (openLibrary(wil, a.positional[0], false) != Ok)
        return Failed;

    std::optional<qint32> begin = 0;
    std::optional<qint32> end = wil.ImageCount() - 1;
    if (const auto text = a.value(QStringLiteral("--range"))) {
        const auto range = parseRange(*text);
        begin = range ? std::optional<qint32>(range->first) : std::nullopt;
        end = range ? std::optional<qint32>(range->second) : std::nullopt;
    }
    outpic::ExportRange range;
    const InputRefusal refusal = outpic::checkExportInput(wil, begin, end, dir, range);
    if (!refusal.accepted())
        return fail(refusal.message);
    // The editor's folder picker can create the folder it is given; so can this.
    if (!QFileInfo(dir).isDir() && !QDir().mkpath(dir))
        return fail(QStringLiteral("%1: cannot be created").arg(native(dir)));

    QString error;
    QList<int> undecodable;
    if (!outpic::exportPictures(wil, dir, range, {}, &error, &undecodable))
        return fail(error);
    const int count = std::max(range.end - range.begin + 1, 0);
    out(QStringLiteral("exported %1 image(s) to %2").arg(count).arg(native(dir)));
    QStringList numbers;
    QStringList tooLarge;
    for (int n : std::as_const(undecodable)) {
        const RecordInfo info = wil.inspectRecord(n);
        if (info.hasPixels() && imagelimits::isTooLarge(info.width, info.height))
            tooLarge << QString::number(n);
        else
            numbers << QString::number(n);
    }
    if (!numbers.isEmpty())
        out(QStringLiteral("not decodable, written as empty bitmaps: %1").arg(numbers.join(u' ')));
    if (!tooLarge.isEmpty())
        out(QStringLiteral("too large (beyond %1 x %1 pixels), written as empty bitmaps: %2")
                .arg(imagelimits::kMaxImageSide)
                .arg(tooLarge.join(u' ')));
    return Ok;
}

int importCommand(const QStringList &args)
{
    const QStringList modes{QStringLiteral("--insert"), QStringLiteral("--replace"),
                            QStringLiteral("--pixels"), QStringLiteral("--placements")};
    const ParsedArgs a =
        parseArgs(args, modes + QStringList{QStringLiteral("--xy")}, {QStringLiteral("--append")});
    if (!a.ok || a.positional.size() != 2)
        return usage("import");
    int chosen = a.has(QStringLiteral("--append")) ? 1 : 0;
    for (const QString &m : modes)
        chosen += a.value(m) ? 1 : 0;
    if (chosen != 1)
        return usage("import");

    addpic::Request request;
    request.folder = a.positional[1];
    if (const auto xy = a.value(QStringLiteral("--xy"))) {
        const auto fixed = parseXY(*xy);
        if (!fixed)
            return usage("import");
        request.placement.fromFiles = false;
        request.placement.fixed = {fixed->first, fixed->second};
    }

    TWIL wil;
    if (openLibrary(wil, a.positional[0], true) != Ok)
        return Failed;

    const auto setRange = [&request](const QString &text) {
        if (const auto range = parseRange(text)) {
            request.start = range->first;
            request.end = range->second;
        }
    };
    if (a.has(QStringLiteral("--append"))) {
        request.operation = addpic::Operation::Append;
    } else if (const auto s = a.value(QStringLiteral("--insert"))) {
        request.operation = addpic::Operation::Insert;
        request.start = parseNumber(*s);
        // The window's end field holds the last image when the insert runs.
        request.end = wil.ImageCount() - 1;
    } else if (const auto r = a.value(QStringLiteral("--replace"))) {
        request.operation = addpic::Operation::Replace;
        setRange(*r);
    } else if (const auto p = a.value(QStringLiteral("--pixels"))) {
        request.source = addpic::Source::PicturesOnly;
        setRange(*p);
    } else if (const auto x = a.value(QStringLiteral("--placements"))) {
        request.source = addpic::Source::PlacementsOnly;
        setRange(*x);
    }

    addpic::Plan plan;
    const InputRefusal refusal = addpic::check(wil, request, plan);
    if (!refusal.accepted())
        return fail(refusal.message);
    const int before = wil.ImageCount();
    QString error;
    if (!addpic::run(wil, plan, {}, &error))
        return fail(error.isEmpty() ? addpic::msgImportFailed() : error);
    switch (plan.source) {
    case addpic::Source::PicturesAndPlacements:
        out(QStringLiteral("%1 image(s) before, %2 now").arg(before).arg(wil.ImageCount()));
        break;
    case addpic::Source::PicturesOnly:
        out(QStringLiteral("replaced the pixels of images %1-%2").arg(plan.start).arg(plan.end));
        break;
    case addpic::Source::PlacementsOnly:
        out(QStringLiteral("set the placements of images %1-%2").arg(plan.start).arg(plan.end));
        break;
    }
    return Ok;
}

const bool registered = [] {
    registerCommand({"export", "LIB DIR [--range A-B]",
                     "write images (default: all) as DIR/%06d.bmp and DIR/Placements/%06d.txt",
                     exportCommand});
    registerCommand({"import",
                     "LIB DIR --append | --insert S | --replace S-E | --pixels S-E | "
                     "--placements S-E [--xy X,Y]",
                     "bring a picture folder in: whole pictures appended, inserted before S or "
                     "in place of S-E; only pixels (DIR/%06d.bmp); only placements (DIR holds "
                     "%06d.txt); --xy: one fixed placement instead of placement files",
                     importCommand});
    return true;
}();

} // namespace
} // namespace wiltool
