#include "folderdialog.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

FolderDialog::FolderDialog(QWidget *parent, const QString &caption, const QString &startDir)
    : QFileDialog(parent, caption, startDir)
{
    setFileMode(QFileDialog::Directory);
    setOption(QFileDialog::ShowDirsOnly, true);
    // Only Qt's own dialog lets accept() see a typed name before it is refused.
    setOption(QFileDialog::DontUseNativeDialog, true);
    m_ask = [this](const QString &folder) {
        return QMessageBox::question(
                   this, tr("新建文件夹"),
                   tr("文件夹“%1”不存在。要建立它吗？").arg(QDir::toNativeSeparators(folder))) ==
               QMessageBox::Yes;
    };
    m_complain = [this](const QString &text) { QMessageBox::warning(this, tr("错误！"), text); };
}

QString FolderDialog::chosenFolder() const
{
    const QStringList files = selectedFiles();
    return files.isEmpty() ? QString() : QDir::cleanPath(files.constFirst());
}

void FolderDialog::accept()
{
    const QString folder = chosenFolder();
    const QFileInfo info(folder);
    if (!folder.isEmpty() && !info.exists() && !info.isSymLink()) {
        if (!m_ask(folder))
            return;
        if (!QDir().mkpath(folder)) {
            m_complain(tr("无法建立文件夹“%1”。").arg(QDir::toNativeSeparators(folder)));
            return;
        }
    }
    QFileDialog::accept();
}
