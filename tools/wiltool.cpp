#include "wiltool.h"

#include "editlock.h"
#include "integertext.h"
#include "mywil.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <map>
#include <memory>

namespace wiltool {

namespace {
std::map<QString, Command> &registry()
{
    static std::map<QString, Command> commands;
    return commands;
}

void writeLine(FILE *stream, const QString &line)
{
    const QByteArray bytes = (line + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, bytes.size(), stream);
}

// Negative numbers in every notation the entry syntax knows ("-5", "-$A", "-x1f"), negative
// ranges and placement pairs are values.
bool looksLikeValue(const QString &word)
{
    return parseNumber(word) || parseRange(word) || parseXY(word);
}

int help()
{
    writeLine(stdout, QStringLiteral("usage: wiltool COMMAND ARGS..."));
    writeLine(stdout, QStringLiteral("Commands:"));
    for (const auto &[name, command] : registry())
        writeLine(stdout, QStringLiteral("  %1 %2\n      %3")
                              .arg(name, QString::fromUtf8(command.synopsis),
                                   QString::fromUtf8(command.summary)));
    return Ok;
}
} // namespace

bool registerCommand(Command command)
{
    registry()[QString::fromLatin1(command.name)] = std::move(command);
    return true;
}

int fail(const QString &message)
{
    writeLine(stderr, QStringLiteral("wiltool: ") + message);
    return Failed;
}

void note(const QString &message)
{
    writeLine(stderr, QStringLiteral("wiltool: note: ") + message);
}

int openLibrary(TWIL &wil, const QString &path, bool forEditing)
{
    // An edit reads the library under its lock and keeps the lock until the command ends, so
    // what it writes is worked out from the pair as it is, not as it was before another
    // program's edit.
    // (A library that is missing or cannot be written is refused below, in its own words.)
    if (forEditing && QFileInfo(path).isFile() && QFileInfo(path).isWritable()) {
        static std::unique_ptr<EditLock> held;
        held = std::make_unique<EditLock>(path);
        if (QString why; !held->acquire(EditLock::kEditWaitMs, &why))
            return fail(why);
    }
    QStringList notices;
    wil.setNotifier([&notices](const QString &text) { notices << text; });
    wil.FileName = path;
    try {
        if (forEditing)
            wil.Open();
        else
            wil.OpenReadOnly();
    } catch (const WilError &e) {
        notices << e.message();
    }
    // A pair that does not hold together refuses the edit in the reason's own words; the
    // notice of its opening for reading only would say the same again.
    if (forEditing && wil.isOpen() && !wil.inconsistency().isEmpty()) {
        notices.removeIf(
            [&wil](const QString &text) { return text.startsWith(wil.inconsistency()); });
        for (const QString &notice : std::as_const(notices))
            note(notice);
        const QString why = wil.inconsistency();
        wil.Close();
        return fail(why);
    }
    // Anything said later (there is nothing yet) is a note too.
    wil.setNotifier([](const QString &text) { note(text); });
    // Only the last word of a failed opening says why it failed.
    const QString reason = wil.isOpen() || notices.isEmpty()
                               ? QStringLiteral("%1: cannot be opened as a library")
                                     .arg(QDir::toNativeSeparators(path))
                               : notices.takeLast();
    for (const QString &notice : std::as_const(notices))
        note(notice);
    if (!wil.isOpen())
        return fail(reason);
    // Without its index no image of the library can be found: "images: 0" would mislead.
    if (const QString why = wil.indexError(); !why.isEmpty()) {
        wil.Close();
        return fail(why);
    }
    return Ok;
}

namespace {
QString usageLine(const char *commandName)
{
    const auto it = registry().find(QString::fromLatin1(commandName));
    if (it == registry().end())
        return QStringLiteral("usage: wiltool COMMAND ARGS... (wiltool --help)");
    return QStringLiteral("usage: wiltool %1 %2")
        .arg(QString::fromLatin1(commandName), QString::fromUtf8(it->second.synopsis));
}
} // namespace

int usage(const char *commandName)
{
    writeLine(stderr, usageLine(commandName));
    return Usage;
}

int usage(const char *commandName, const QString &reason)
{
    writeLine(stderr, QStringLiteral("wiltool %1: %2; %3")
                          .arg(QString::fromLatin1(commandName), reason, usageLine(commandName)));
    return Usage;
}

void out(const QString &line)
{
    writeLine(stdout, line);
}

std::optional<QString> ParsedArgs::value(const QString &name) const
{
    for (const auto &[key, v] : values)
        if (key == name)
            return v;
    return std::nullopt;
}

ParsedArgs parseArgs(const QStringList &args, const QStringList &valueOptions,
                     const QStringList &flagOptions)
{
    ParsedArgs p;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (optionsEnded || !a.startsWith(u'-') || a == u'-' || looksLikeValue(a)) {
            p.positional << a;
        } else if (a == u"--") {
            optionsEnded = true;
        } else if (const qsizetype eq = a.indexOf(u'='); eq > 0 && a.startsWith(u"--")) {
            const QString name = a.left(eq);
            if (!valueOptions.contains(name)) {
                p.ok = false;
                p.error = flagOptions.contains(name)
                              ? QStringLiteral("%1 takes no value").arg(name)
                              : QStringLiteral("unknown option %1").arg(name);
                return p;
            }
            p.values.append({name, a.mid(eq + 1)});
        } else if (valueOptions.contains(a)) {
            if (i + 1 >= args.size()) {
                p.ok = false;
                p.error = QStringLiteral("%1 needs a value").arg(a);
                return p;
            }
            p.values.append({a, args[++i]});
        } else if (flagOptions.contains(a)) {
            p.flags << a;
        } else {
            p.ok = false;
            p.error = QStringLiteral("unknown option %1").arg(a);
            return p;
        }
    }
    return p;
}

std::optional<qint32> parseNumber(const QString &text)
{
    return parseIntegerEntry(text);
}

std::optional<QPair<qint32, qint32>> parseRange(const QString &text)
{
    if (const auto single = parseNumber(text))
        return QPair<qint32, qint32>(*single, *single);
    // The separating dash is the first one that is not a sign.
    for (qsizetype i = 1; i < text.size(); ++i) {
        if (text[i] != u'-' || text[i - 1] == u'-')
            continue;
        const auto a = parseNumber(text.left(i));
        const auto b = parseNumber(text.mid(i + 1));
        if (a && b)
            return QPair<qint32, qint32>(*a, *b);
    }
    return std::nullopt;
}

std::optional<QPair<qint16, qint16>> parseXY(const QString &text)
{
    const qsizetype comma = text.indexOf(u',');
    if (comma < 0)
        return std::nullopt;
    const auto x = parseNumber(text.left(comma));
    const auto y = parseNumber(text.mid(comma + 1));
    if (!x || !y)
        return std::nullopt;
    return QPair<qint16, qint16>(qint16(*x), qint16(*y));
}

int run(QStringList args)
{
    if (args.isEmpty())
        return usage("");
    if (args[0] == u"--help" || args[0] == u"-h" || args[0] == u"help")
        return help();
    const QString name = args.takeFirst();
    const auto it = registry().find(name);
    if (it == registry().end()) {
        writeLine(stderr, QStringLiteral("wiltool: unknown command %1 (wiltool --help)").arg(name));
        return Usage;
    }
    if (args.size() == 1 && (args[0] == u"--help" || args[0] == u"-h")) {
        out(usageLine(it->first.toLatin1().constData()));
        return Ok;
    }
    try {
        return it->second.run(args);
    } catch (const std::exception &e) {
        return fail(QString::fromUtf8(e.what()));
    }
}

} // namespace wiltool
