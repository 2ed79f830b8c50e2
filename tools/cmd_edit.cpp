// add, delete, blank, create: the add-one, delete and create windows on the command line.

#include "wiltool.h"

#include "addone.h"
#include "del.h"
#include "mywil.h"
#include "new.h"
#include "pictureloader.h"

#include <QDir>
#include <QFileInfo>

namespace {

using namespace wiltool;

// Opens LIB for editing; an empty optional when that worked, else the exit status.
std::optional<int> openForEditing(TWIL &wil, const QString &path)
{
    if (openLibrary(wil, path, true) != Ok)
        return Failed;
    if (wil.isReadOnly())
        return fail(
            QStringLiteral("%1 is read-only: nothing changed").arg(QDir::toNativeSeparators(path)));
    return std::nullopt;
}

// delete and blank: LIB A-B, checked as the delete window checks its two fields.
int rangeCommand(const char *name, const QStringList &args, bool remove)
{
    const ParsedArgs p = parseArgs(args, {}, {});
    if (!p.ok)
        return usage(name, p.error);
    if (p.positional.size() != 2)
        return usage(name, QStringLiteral("expected LIB A-B"));
    TWIL wil;
    if (const auto status = openForEditing(wil, p.positional[0]))
        return *status;
    const auto range = parseRange(p.positional[1]);
    const RangeRefusal refusal = range ? checkRange(range->first, range->second, wil.ImageCount())
                                       : checkRange(std::nullopt, std::nullopt, wil.ImageCount());
    if (refusal != RangeRefusal::None)
        return fail(delmsg::badNumber());
    QString error;
    const bool ok = remove ? Del(wil, range->first, range->second, &error)
                           : Del1(wil, range->first, range->second, &error);
    if (!ok)
        return fail(QStringLiteral("%1 (%2)").arg(delmsg::failed(), error));
    out(QStringLiteral("images: %1").arg(wil.ImageCount()));
    return Ok;
}

int runDelete(const QStringList &args)
{
    return rangeCommand("delete", args, true);
}
int runBlank(const QStringList &args)
{
    return rangeCommand("blank", args, false);
}

int runAdd(const QStringList &args)
{
    const ParsedArgs p =
        parseArgs(args, {QStringLiteral("--insert-at"), QStringLiteral("--xy")}, {});
    if (!p.ok)
        return usage("add", p.error);
    if (p.positional.size() != 2)
        return usage("add", QStringLiteral("expected LIB PICTURE"));
    QPair<qint16, qint16> xy(0, 0);
    if (const auto text = p.value(QStringLiteral("--xy"))) {
        const auto placement = parseXY(*text);
        if (!placement)
            return usage("add", QStringLiteral("--xy wants X,Y, not \"%1\"").arg(*text));
        xy = *placement;
    }
    std::optional<qint32> insertAt;
    if (const auto text = p.value(QStringLiteral("--insert-at"))) {
        insertAt = parseNumber(*text);
        if (!insertAt || *insertAt < 0)
            return fail(delmsg::badNumber());
    }
    TWIL wil;
    if (const auto status = openForEditing(wil, p.positional[0]))
        return *status;
    const LoadedPicture picture = loadPicture(p.positional[1]);
    if (picture.status == LoadedPicture::Unreadable)
        return fail(picture.error);

    QString error;
    const int at = insertAt ? std::min(*insertAt, wil.ImageCount()) : wil.ImageCount();
    const bool ok = insertAt ? insertOnePicture(wil, picture.image, xy.first, xy.second, at, &error)
                             : appendOnePicture(wil, picture.image, xy.first, xy.second, &error);
    if (!ok)
        return fail(QStringLiteral("%1 (%2)").arg(addonemsg::failed(), error));
    wil.Close();
    wil.Open();
    out(QStringLiteral("image: %1").arg(at));
    return Ok;
}

int runCreate(const QStringList &args)
{
    const ParsedArgs p =
        parseArgs(args, {QStringLiteral("--xy")}, {QStringLiteral("--palette-from-first")});
    if (!p.ok)
        return usage("create", p.error);
    if (p.positional.size() != 2)
        return usage("create", QStringLiteral("expected NEW.wil DIR"));
    NewLibraryOptions options;
    options.libraryPath = p.positional[0];
    options.pictureFolder = p.positional[1];
    if (const auto xy = p.value(QStringLiteral("--xy"))) {
        const auto placement = parseXY(*xy);
        if (!placement)
            return usage("create", QStringLiteral("--xy wants X,Y, not \"%1\"").arg(*xy));
        options.fixedPlacement = true;
        options.placement = {placement->first, placement->second};
    }
    options.paletteFromFirst = p.has(QStringLiteral("--palette-from-first"));
    QString error;
    if (!createLibrary(options, nullptr, &error))
        return fail(QStringLiteral("%1 (%2)").arg(newmsg::failed(), error));
    TWIL wil;
    wil.FileName = options.libraryPath;
    wil.Open();
    out(QStringLiteral("images: %1").arg(wil.ImageCount()));
    return Ok;
}

const bool registered = [] {
    registerCommand({"add", "LIB PICTURE [--insert-at S] [--xy X,Y]",
                     "Add one picture behind the last image, or as image S (at or past the end: "
                     "behind the last).",
                     runAdd});
    registerCommand(
        {"delete", "LIB A-B", "Remove images A to B; the images behind them move up.", runDelete});
    registerCommand({"blank", "LIB A-B",
                     "Blank images A to B: each becomes a black 4 x 1 image keeping its "
                     "placement.",
                     runBlank});
    registerCommand({"create", "NEW.wil DIR [--xy X,Y] [--palette-from-first]",
                     "Create a library from a picture folder (placements from its placement "
                     "files, or --xy for all), replacing any library of that name.",
                     runCreate});
    return true;
}();

} // namespace
