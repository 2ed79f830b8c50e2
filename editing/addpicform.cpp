#include "addpicform.h"

#include "addpic.h"
#include "dialogs.h"
#include "editorhost.h"
#include "mywil.h"
#include "pickedfield.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {
template <typename W, typename... Args> W *named(const char *name, Args &&...args)
{
    auto *w = new W(std::forward<Args>(args)...);
    w->setObjectName(QLatin1String(name));
    return w;
}
} // namespace

TFormadd::TFormadd(EditorHost &host, QWidget *parent) : QDialog(parent), m_host(host)
{
    setObjectName(QStringLiteral("Formadd"));
    setWindowTitle(tr("批量导入图片"));
    m_controls = new QWidget(this);

    suiGroupBox4 = named<QGroupBox>("suiGroupBox4", tr("导入内容"), m_controls);
    RabtnAll = named<QRadioButton>("RabtnAll", tr("图片和坐标"), suiGroupBox4);
    RabtnPic = named<QRadioButton>("RabtnPic", tr("仅图片"), suiGroupBox4);
    Rabtnxy = named<QRadioButton>("Rabtnxy", tr("仅坐标"), suiGroupBox4);
    RabtnAll->setChecked(true);
    auto *modes = new QHBoxLayout(suiGroupBox4);
    modes->addWidget(RabtnAll);
    modes->addWidget(RabtnPic);
    modes->addWidget(Rabtnxy);

    Label1 = named<QLabel>("Label1", addpic::labelPictureFolder(), m_controls);
    EditPicPath = named<QLineEdit>("EditPicPath", m_controls);
    makePickedField(EditPicPath, tr("用“...”按钮选择文件夹"));
    EditPicPath->setMinimumWidth(260);
    suiButton1 = named<QPushButton>("suiButton1", QStringLiteral("..."), m_controls);
    auto *folderRow = new QHBoxLayout;
    folderRow->addWidget(Label1);
    folderRow->addWidget(EditPicPath, 1);
    folderRow->addWidget(suiButton1);

    suiGroupBox2 = named<QGroupBox>("suiGroupBox2", tr("编号范围"), m_controls);
    editBegin = named<QLineEdit>("editBegin", QStringLiteral("0"), suiGroupBox2);
    EditEnd = named<QLineEdit>("EditEnd", QStringLiteral("0"), suiGroupBox2);
    auto *range = new QHBoxLayout(suiGroupBox2);
    range->addWidget(new QLabel(tr("起始："), suiGroupBox2));
    range->addWidget(editBegin);
    range->addWidget(new QLabel(tr("结束："), suiGroupBox2));
    range->addWidget(EditEnd);
    suiGroupBox2->setEnabled(false);

    suiGroupBox3 = named<QGroupBox>("suiGroupBox3", tr("导入方式"), m_controls);
    RabtnAdd = named<QRadioButton>("RabtnAdd", tr("追加到末尾"), suiGroupBox3);
    RabtnInsert = named<QRadioButton>("RabtnInsert", tr("插入到起始编号前"), suiGroupBox3);
    RabtnReplace = named<QRadioButton>("RabtnReplace", tr("替换编号范围"), suiGroupBox3);
    RabtnAdd->setChecked(true);
    auto *operations = new QHBoxLayout(suiGroupBox3);
    operations->addWidget(RabtnAdd);
    operations->addWidget(RabtnInsert);
    operations->addWidget(RabtnReplace);

    GroupBoxxy = named<QGroupBox>("GroupBoxxy", tr("坐标"), m_controls);
    RabtnFile = named<QRadioButton>("RabtnFile", tr("使用坐标文件"), GroupBoxxy);
    suiRadioButton2 = named<QRadioButton>("suiRadioButton2", tr("统一坐标 (x,y)："), GroupBoxxy);
    editxy = named<QLineEdit>("editxy", QStringLiteral("0,0"), GroupBoxxy);
    RabtnFile->setChecked(true);
    auto *placements = new QHBoxLayout(GroupBoxxy);
    placements->addWidget(RabtnFile);
    placements->addWidget(suiRadioButton2);
    placements->addWidget(editxy);

    suiButton2 = named<QPushButton>("suiButton2", tr("开始导入"), m_controls);
    suiButton3 = named<QPushButton>("suiButton3", tr("关闭"), m_controls);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(suiButton2);
    buttons->addWidget(suiButton3);

    auto *controls = new QVBoxLayout(m_controls);
    controls->setContentsMargins(0, 0, 0, 0);
    controls->addWidget(suiGroupBox4);
    controls->addLayout(folderRow);
    controls->addWidget(suiGroupBox2);
    controls->addWidget(suiGroupBox3);
    controls->addWidget(GroupBoxxy);
    controls->addLayout(buttons);

    suiProgressBar1 = named<QProgressBar>("suiProgressBar1", this);
    suiProgressBar1->setRange(0, 1);
    suiProgressBar1->setValue(0);
    suiProgressBar1->hide();

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_controls);
    layout->addWidget(suiProgressBar1);

    for (QRadioButton *mode : {RabtnAll, RabtnPic, Rabtnxy})
        connect(mode, &QRadioButton::clicked, this, &TFormadd::RabtnPicClick);
    for (QRadioButton *operation : {RabtnAdd, RabtnInsert, RabtnReplace})
        connect(operation, &QRadioButton::clicked, this, &TFormadd::RabtnInsertClick);
    connect(suiButton1, &QPushButton::clicked, this, &TFormadd::suiButton1Click);
    connect(suiButton2, &QPushButton::clicked, this, &TFormadd::suiButton2Click);
    connect(suiButton3, &QPushButton::clicked, this, &TFormadd::suiButton3Click);
}

void TFormadd::suiButton1Click()
{
    const QString folder = m_host.pickFolder(this, tr("选择图片所在的文件夹"));
    if (!folder.isEmpty())
        EditPicPath->setText(QDir::toNativeSeparators(folder));
}

void TFormadd::suiButton3Click()
{
    close();
}

void TFormadd::RabtnPicClick()
{
    if (RabtnAll->isChecked()) {
        for (QWidget *w :
             {static_cast<QWidget *>(RabtnAdd), static_cast<QWidget *>(RabtnInsert),
              static_cast<QWidget *>(RabtnReplace), static_cast<QWidget *>(EditPicPath),
              static_cast<QWidget *>(suiButton1), static_cast<QWidget *>(GroupBoxxy)})
            w->setEnabled(true);
        Label1->setText(addpic::labelPictureFolder());
        return;
    }
    suiGroupBox2->setEnabled(true);
    RabtnReplace->setChecked(true);
    RabtnInsertClick();
    RabtnAdd->setEnabled(false);
    RabtnInsert->setEnabled(false);
    RabtnReplace->setEnabled(true);
    if (Rabtnxy->isChecked()) {
        GroupBoxxy->setEnabled(true);
        Label1->setText(addpic::labelPlacementFolder());
    } else {
        Label1->setText(addpic::labelPictureFolder());
        GroupBoxxy->setEnabled(false);
    }
}

void TFormadd::RabtnInsertClick()
{
    const bool ranged = !RabtnAdd->isChecked();
    suiGroupBox2->setEnabled(ranged);
    editBegin->setEnabled(ranged);
    EditEnd->setEnabled(RabtnReplace->isChecked());
}

addpic::Request TFormadd::request() const
{
    addpic::Request r;
    r.source = RabtnAll->isChecked()   ? addpic::Source::PicturesAndPlacements
               : RabtnPic->isChecked() ? addpic::Source::PicturesOnly
                                       : addpic::Source::PlacementsOnly;
    r.operation = RabtnAdd->isChecked()      ? addpic::Operation::Append
                  : RabtnInsert->isChecked() ? addpic::Operation::Insert
                                             : addpic::Operation::Replace;
    r.folder = EditPicPath->text();
    r.start = parseIntegerEntry(editBegin->text());
    r.end = parseIntegerEntry(EditEnd->text());
    r.placement.fromFiles = RabtnFile->isChecked();
    r.placement.fixed = parseFixedPlacement(editxy->text());
    return r;
}

bool TFormadd::refuse(const InputRefusal &refusal)
{
    m_host.showErrMessage(refusal.message);
    if (refusal.kind == InputRefusal::Failed)
        m_stayOpen = true;
    // The controls are disabled while a run is on: the field takes the focus when they are
    // enabled again.
    m_focusField = refusal.field;
    return false;
}

bool TFormadd::runPlan(const addpic::Request &request, bool failureKeepsWindowOpen)
{
    TWIL &wil = m_host.wil();
    addpic::Plan plan;
    const InputRefusal refusal = addpic::check(wil, request, plan);
    if (!refusal.accepted())
        return refuse(refusal);
    suiProgressBar1->setValue(0);
    suiProgressBar1->show();
    QString error;
    const bool ok = addpic::run(
        wil, plan,
        [this](int position, int maximum) {
            suiProgressBar1->setRange(0, std::max(maximum, 1));
            suiProgressBar1->setValue(position);
            QCoreApplication::processEvents();
        },
        &error);
    m_error = error;
    if (!ok && failureKeepsWindowOpen)
        return refuse(InputRefusal::failed(error));
    return ok;
}

bool TFormadd::AddAll()
{
    if (EditPicPath->text().isEmpty())
        return refuse(InputRefusal::refused(addpic::msgNoFolder()));
    QCoreApplication::processEvents();
    // Append, insert and replace put both files back when they fail: the failure is reported
    // as the run's result.
    return runPlan(request(), false);
}

bool TFormadd::AddPic()
{
    // Images replaced before a failure stay replaced: the error is reported and the window
    // stays open.
    return runPlan(request(), true);
}

bool TFormadd::AddXy()
{
    return runPlan(request(), true);
}

void TFormadd::suiButton2Click()
{
    if (m_running)
        return;
    m_running = true;
    m_stayOpen = false;
    m_focusField.clear();
    m_error.clear();
    m_controls->setEnabled(false);
    const bool ok = RabtnAll->isChecked() ? AddAll() : RabtnPic->isChecked() ? AddPic() : AddXy();
    m_controls->setEnabled(true);
    m_running = false;
    if (!m_focusField.isEmpty())
        if (auto *field = findChild<QWidget *>(m_focusField))
            field->setFocus();
    suiProgressBar1->hide();
    suiProgressBar1->setValue(0);
    m_host.showLibraryAsItIs();
    if (m_stayOpen)
        return;
    m_host.showResult(ok, addpic::msgImportDone(), addpic::msgImportFailed(), m_error);
    EditPicPath->clear();
    close();
}

void TFormadd::reject()
{
    if (!m_running)
        QDialog::reject();
}

void TFormadd::closeEvent(QCloseEvent *event)
{
    if (m_running)
        event->ignore();
    else
        QDialog::closeEvent(event);
}
