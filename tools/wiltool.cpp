#include "wiltool.h"

#include "integertext.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdio>
#include <map>

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

bool looksLikeValue(const QString &word)
{
    return word.size() >= 2 && word[0] == u'-' && (word[1].isDigit() || word[1] == u'$');
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

int usage(const char *commandName)
{
    const auto it = registry().find(QString::fromLatin1(commandName));
    if (it == registry().end())
        writeLine(stderr, QStringLiteral("usage: wiltool COMMAND ARGS... (wiltool --help)"));
    else
        writeLine(stderr, QStringLiteral("usage: wiltool %1 %2")
                              .arg(QString::fromLatin1(commandName),
                                   QString::fromUtf8(it->second.synopsis)));
    return Usage;
}

void out(const QString &line) { writeLine(stdout, line); }

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
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (!a.startsWith(u'-') || looksLikeValue(a) || a == u'-') {
            p.positional << a;
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

std::optional<qint32> parseNumber(const QString &text) { return parseIntegerEntry(text); }

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

} // namespace wiltool

int main(int argc, char **argv)
{
    // Decoding and drawing use QtGui's images but never a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty() || args[0] == u"--help" || args[0] == u"-h" || args[0] == u"help")
        return args.isEmpty() ? (wiltool::help(), wiltool::Usage) : wiltool::help();
    const QString name = args.takeFirst();
    const auto it = wiltool::registry().find(name);
    if (it == wiltool::registry().end()) {
        wiltool::fail(QStringLiteral("unknown command %1").arg(name));
        return wiltool::Usage;
    }
    try {
        return it->second.run(args);
    } catch (const std::exception &e) {
        return wiltool::fail(QString::fromUtf8(e.what()));
    }
}
