#include "outpicform.h"

#include "dialogs.h"
#include "editorhost.h"
#include "integertext.h"
#include "mywil.h"
#include "outpic.h"
#include "pickedfield.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

TFormout::TFormout(EditorHost &host, QWidget *parent) : QDialog(parent), m_host(host)
{
    setObjectName(QStringLiteral("Formout"));
    setWindowTitle(tr("批量导出图片"));

    m_controls = new QWidget(this);
    EditPicPath = new QLineEdit(m_controls);
    EditPicPath->setObjectName(QStringLiteral("EditPicPath"));
    makePickedField(EditPicPath, tr("用“...”按钮选择文件夹"));
    EditPicPath->setMinimumWidth(260);
    suiButton1 = new QPushButton(QStringLiteral("..."), m_controls);
    suiButton1->setObjectName(QStringLiteral("suiButton1"));
    editBegin = new QLineEdit(QStringLiteral("0"), m_controls);
    editBegin->setObjectName(QStringLiteral("editBegin"));
    EditEnd = new QLineEdit(QStringLiteral("0"), m_controls);
    EditEnd->setObjectName(QStringLiteral("EditEnd"));
    suiButton2 = new QPushButton(tr("导出"), m_controls);
    suiButton2->setObjectName(QStringLiteral("suiButton2"));
    suiButton3 = new QPushButton(tr("关闭"), m_controls);
    suiButton3->setObjectName(QStringLiteral("suiButton3"));
    suiProgressBar1 = new QProgressBar(this);
    suiProgressBar1->setObjectName(QStringLiteral("suiProgressBar1"));
    suiProgressBar1->setRange(0, 1);
    suiProgressBar1->setValue(0);

    auto *grid = new QGridLayout(m_controls);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(new QLabel(tr("导出到："), m_controls), 0, 0);
    grid->addWidget(EditPicPath, 0, 1, 1, 3);
    grid->addWidget(suiButton1, 0, 4);
    grid->addWidget(new QLabel(tr("起始编号："), m_controls), 1, 0);
    grid->addWidget(editBegin, 1, 1);
    grid->addWidget(new QLabel(tr("结束编号："), m_controls), 1, 2);
    grid->addWidget(EditEnd, 1, 3);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(suiButton2);
    buttons->addWidget(suiButton3);
    grid->addLayout(buttons, 2, 0, 1, 5);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_controls);
    layout->addWidget(suiProgressBar1);

    connect(suiButton1, &QPushButton::clicked, this, &TFormout::suiButton1Click);
    connect(suiButton2, &QPushButton::clicked, this, &TFormout::suiButton2Click);
    connect(suiButton3, &QPushButton::clicked, this, &TFormout::suiButton3Click);
}

void TFormout::suiButton1Click()
{
    const QString folder = m_host.pickFolder(this, tr("选择导出的文件夹"));
    if (!folder.isEmpty())
        EditPicPath->setText(QDir::toNativeSeparators(folder));
}

void TFormout::suiButton3Click()
{
    close();
}

void TFormout::refuse(const InputRefusal &refusal)
{
    m_host.showErrMessage(refusal.message);
    if (!refusal.field.isEmpty())
        if (auto *field = findChild<QWidget *>(refusal.field))
            field->setFocus();
}

void TFormout::suiButton2Click()
{
    if (m_running)
        return;
    QCoreApplication::processEvents();
    TWIL &wil = m_host.wil();
    outpic::ExportRange range;
    const InputRefusal refusal =
        outpic::checkExportInput(wil, parseIntegerEntry(editBegin->text()),
                                 parseIntegerEntry(EditEnd->text()), EditPicPath->text(), range);
    if (!refusal.accepted()) {
        refuse(refusal);
        return;
    }
    QCoreApplication::processEvents();

    // Nothing here may start the export again while it runs; repaints still happen.
    m_running = true;
    m_controls->setEnabled(false);
    suiProgressBar1->setRange(0, std::max(range.end - range.begin + 1, 1));
    suiProgressBar1->setValue(0);
    suiProgressBar1->show();
    QString error;
    QList<int> undecodable;
    const bool ok = outpic::exportPictures(
        wil, EditPicPath->text(), range,
        [this](int position, int maximum) {
            suiProgressBar1->setRange(0, std::max(maximum, 1));
            suiProgressBar1->setValue(position);
            QCoreApplication::processEvents();
        },
        &error, &undecodable);
    m_controls->setEnabled(true);
    m_running = false;
    suiProgressBar1->hide();
    if (!ok) {
        m_host.showErrMessage(error);
        return;
    }
    // A picture written as an empty file is not an export the user can take for whole.
    const QString note = outpic::undecodableNote(undecodable);
    m_host.showMessage(note.isEmpty() ? outpic::msgExportDone()
                                      : outpic::msgExportDone() + u'\n' + note);
    close();
}

void TFormout::reject()
{
    if (!m_running)
        QDialog::reject();
}

void TFormout::closeEvent(QCloseEvent *event)
{
    if (m_running)
        event->ignore();
    else
        QDialog::closeEvent(event);
}
