#pragma once
// Dialogs for tests: answers are queued beforehand, and everything shown is recorded.

#include "dialogs.h"

#include <QList>
#include <QQueue>

class ScriptedDialogs : public Dialogs
{
public:
    struct Shown
    {
        QString caption;
        QString text;
        Icon icon;
    };
    QList<Shown> messages;          // every message box, in order
    QList<QString> inputCaptions;   // every input dialog's caption
    QList<QString> pickerProposals; // the proposed name of every save dialog
    QList<QString> folderStarts;    // the folder every folder picker started in

    // Answers, consumed in order; an empty queue answers "cancelled".
    QQueue<std::optional<QString>> inputAnswers;
    QQueue<QString> fileAnswers; // open, picture, save and folder pickers alike

    QString lastMessage() const { return messages.isEmpty() ? QString() : messages.last().text; }

    void message(QWidget *, const QString &caption, const QString &text, Icon icon) override;
    std::optional<QString> inputText(QWidget *, const QString &caption, const QString &prompt,
                                     const QString &value) override;
    QString openFile(QWidget *, const QString &, const QStringList &) override;
    QString openPicture(QWidget *, const QString &) override;
    QString saveFile(QWidget *, const QString &, const QString &proposedName, const QStringList &,
                     const QString &) override;
    QString selectFolder(QWidget *, const QString &, const QString &) override;

private:
    QString nextFile() { return fileAnswers.isEmpty() ? QString() : fileAnswers.dequeue(); }
};
