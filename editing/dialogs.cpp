#include "dialogs.h"

#include "folderdialog.h"
#include "picturepicker.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

void QtDialogs::message(QWidget *parent, const QString &caption, const QString &text, Icon icon)
{
    QMessageBox box(icon == Icon::Information ? QMessageBox::Information : QMessageBox::Warning,
                    caption, text, QMessageBox::Ok, parent);
    box.exec();
}

std::optional<QString> QtDialogs::inputText(QWidget *parent, const QString &caption,
                                            const QString &prompt, const QString &value)
{
    bool ok = false;
    const QString text = QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, value, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

QString QtDialogs::openFile(QWidget *parent, const QString &caption, const QStringList &filters)
{
    return QFileDialog::getOpenFileName(parent, caption, QString(), filters.join(QStringLiteral(";;")));
}

QString QtDialogs::openPicture(QWidget *parent, const QString &caption)
{
    PicturePicker picker(parent, caption);
    if (picker.exec() != QDialog::Accepted || picker.selectedFiles().isEmpty())
        return {};
    return picker.selectedFiles().constFirst();
}

QString QtDialogs::saveFile(QWidget *parent, const QString &caption, const QString &proposedName,
                            const QStringList &filters, const QString &defaultSuffix)
{
    QFileDialog dialog(parent, caption);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.selectFile(proposedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString QtDialogs::saveFileReplacing(QWidget *parent, const QString &caption,
                                     const QString &proposedName, const QStringList &filters,
                                     const QString &defaultSuffix)
{
    QFileDialog dialog(parent, caption);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.selectFile(proposedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString QtDialogs::selectFolder(QWidget *parent, const QString &caption, const QString &startDir)
{
    FolderDialog dialog(parent, caption, startDir);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.chosenFolder();
}
