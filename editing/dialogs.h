#pragma once
// Every message box, input dialog and file, picture or folder picker of the windows goes
// through this interface, so tests can script the answers and never block on a modal dialog.

#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

class Dialogs
{
public:
    enum class Icon { Information, Warning };
    virtual ~Dialogs() = default;

    virtual void message(QWidget *parent, const QString &caption, const QString &text,
                         Icon icon) = 0;
    // nullopt when cancelled.
    virtual std::optional<QString> inputText(QWidget *parent, const QString &caption,
                                             const QString &prompt, const QString &value) = 0;
    // Each returns an empty string when the user cancels. `filters` are Qt name filters
    // ("Libraries (*.wil)").
    virtual QString openFile(QWidget *parent, const QString &caption,
                             const QStringList &filters) = 0;
    virtual QString openPicture(QWidget *parent, const QString &caption) = 0;
    virtual QString saveFile(QWidget *parent, const QString &caption, const QString &proposedName,
                             const QStringList &filters, const QString &defaultSuffix) = 0;
    // Like saveFile, but an existing file is taken without a question: for callers that replace
    // the file whole and keep the old one until the new one is complete.
    virtual QString saveFileReplacing(QWidget *parent, const QString &caption,
                                      const QString &proposedName, const QStringList &filters,
                                      const QString &defaultSuffix)
    {
        return saveFile(parent, caption, proposedName, filters, defaultSuffix);
    }
    // May create the folder the user typed (after asking).
    virtual QString selectFolder(QWidget *parent, const QString &caption,
                                 const QString &startDir) = 0;
};

// The real dialogs of Qt.
class QtDialogs : public Dialogs
{
public:
    void message(QWidget *parent, const QString &caption, const QString &text,
                 Icon icon) override;
    std::optional<QString> inputText(QWidget *parent, const QString &caption,
                                     const QString &prompt, const QString &value) override;
    QString openFile(QWidget *parent, const QString &caption,
                     const QStringList &filters) override;
    QString openPicture(QWidget *parent, const QString &caption) override;
    QString saveFile(QWidget *parent, const QString &caption, const QString &proposedName,
                     const QStringList &filters, const QString &defaultSuffix) override;
    QString saveFileReplacing(QWidget *parent, const QString &caption, const QString &proposedName,
                              const QStringList &filters, const QString &defaultSuffix) override;
    QString selectFolder(QWidget *parent, const QString &caption,
                         const QString &startDir) override;
};
