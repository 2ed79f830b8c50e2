#pragma once
// The command line. Each command lives in a cmd_*.cpp file of its own and registers itself.

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class TWIL;

namespace wiltool {

enum Exit { Ok = 0, Failed = 1, Usage = 2 };

struct Command
{
    const char *name;
    const char *synopsis; // "LIB N OUT.bmp"
    const char *summary;
    std::function<int(const QStringList &args)> run; // args after the command name
};

bool registerCommand(Command command);

// Runs a command line (the arguments after the program name) and returns the exit status.
int run(QStringList args);

// One line on stderr (UTF-8), then Failed.
int fail(const QString &message);
// Usage line for the command on stderr, then Usage.
int usage(const char *commandName);
// One line on stderr: why the command line is wrong, then the command's usage; then Usage.
int usage(const char *commandName, const QString &reason);
void out(const QString &line); // stdout, UTF-8, newline added
// A line on stderr that is not a failure ("wiltool: note: ...").
void note(const QString &message);

// Opens the library at `path`, for editing (Open) or only for reading (OpenReadOnly). What the
// component says on the way (an interrupted edit undone) goes to stderr as notes; a library
// that does not open, or whose index cannot be read, gets the command's one line of failure.
// Ok or Failed.
int openLibrary(TWIL &wil, const QString &path, bool forEditing);

// Options: "--name value" (or "--name=value") pairs and flags; everything else is positional.
// A word that reads as a number, a range or an X,Y pair is a value, never an option, even when
// it starts with "-" ("setxy lib 3 -5 7", "render lib -x1 out.bmp"); after "--" every word is
// positional.
struct ParsedArgs
{
    QStringList positional;
    QStringList flags;                     // "--list"
    QList<QPair<QString, QString>> values; // "--xy" -> "-10,20"
    bool ok = true;
    QString error;
    bool has(const QString &flag) const { return flags.contains(flag); }
    std::optional<QString> value(const QString &name) const;
};
// `valueOptions` names the options that take a value; any other option is a flag, and an
// unknown one is a usage error.
ParsedArgs parseArgs(const QStringList &args, const QStringList &valueOptions,
                     const QStringList &flagOptions);

// Integer entry syntax (decimal, or hex after "$", "x", "0x").
std::optional<qint32> parseNumber(const QString &text);
// "A-B" or "N"; A and B may be written in hex; "-5-3" is -5 to 3.
std::optional<QPair<qint32, qint32>> parseRange(const QString &text);
// "X,Y" with low-16-bit placement values.
std::optional<QPair<qint16, qint16>> parseXY(const QString &text);

} // namespace wiltool
