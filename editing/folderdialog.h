#pragma once
// The folder picker: Qt's folder dialog, which also takes the name of a folder that does not
// exist yet and, once the user agrees, creates it (Qt's own only answers "Directory not found").

#include <QFileDialog>
#include <functional>

class FolderDialog : public QFileDialog
{
    Q_OBJECT
  public:
    // Whether to create the folder at the given path; the real one asks the user.
    using CreateQuestion = std::function<bool(const QString &folder)>;
    // How a folder that could not be made is reported.
    using Complaint = std::function<void(const QString &text)>;

    FolderDialog(QWidget *parent, const QString &caption, const QString &startDir);
    void setCreateQuestion(CreateQuestion ask) { m_ask = std::move(ask); }
    void setComplaint(Complaint complain) { m_complain = std::move(complain); }

    // The folder chosen, once accepted.
    QString chosenFolder() const;

    void accept() override;

  private:
    CreateQuestion m_ask;
    Complaint m_complain;
};
