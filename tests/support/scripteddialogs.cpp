#include "scripteddialogs.h"

void ScriptedDialogs::message(QWidget *, const QString &caption, const QString &text, Icon icon)
{
    messages.append({caption, text, icon});
}

std::optional<QString> ScriptedDialogs::inputText(QWidget *, const QString &caption,
                                                  const QString &, const QString &)
{
    inputCaptions.append(caption);
    return inputAnswers.isEmpty() ? std::nullopt : inputAnswers.dequeue();
}

QString ScriptedDialogs::openFile(QWidget *, const QString &, const QStringList &)
{
    return nextFile();
}

QString ScriptedDialogs::openPicture(QWidget *, const QString &) { return nextFile(); }

QString ScriptedDialogs::saveFile(QWidget *, const QString &, const QString &proposedName,
                                  const QStringList &, const QString &)
{
    pickerProposals.append(proposedName);
    return nextFile();
}

QString ScriptedDialogs::selectFolder(QWidget *, const QString &, const QString &startDir)
{
    folderStarts.append(startDir);
    return nextFile();
}
