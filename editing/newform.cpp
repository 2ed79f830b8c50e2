#include "newform.h"

#include "dialogs.h"
#include "editorhost.h"
#include "mywil.h"
#include "new.h"
#include "pickedfield.h"

#include <QCoreApplication>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {
template <typename W> W *named(W *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}
} // namespace

TFormnew::TFormnew(EditorHost &host, QWidget *parent) : BusyDialog(parent), m_host(host)
{
    setObjectName(QStringLiteral("Formnew"));
    setWindowTitle(tr("新建数据文件"));
    setModal(true);

    EditPicPath = named(new QLineEdit(this), "EditPicPath");
    makePickedField(EditPicPath, tr("用“...”按钮选择文件夹"));
    suiButton1 = named(new QPushButton(QStringLiteral("..."), this), "suiButton1");
    suiButton1->setFixedWidth(32);
    EditFileName = named(new QLineEdit(this), "EditFileName");
    makePickedField(EditFileName, tr("用“...”按钮选择新数据文件的名字"));
    suiButton4 = named(new QPushButton(QStringLiteral("..."), this), "suiButton4");
    suiButton4->setFixedWidth(32);

    auto *placementBox = new QGroupBox(tr("坐标"), this);
    suiRadioButton1 = named(new QRadioButton(tr("使用坐标文件"), placementBox), "suiRadioButton1");
    suiRadioButton1->setChecked(true);
    suiRadioButton2 = named(new QRadioButton(tr("统一坐标："), placementBox), "suiRadioButton2");
    editxy = named(new QLineEdit(QStringLiteral("0,0"), placementBox), "editxy");
    auto *fixedRow = new QHBoxLayout;
    fixedRow->addWidget(suiRadioButton2);
    fixedRow->addWidget(editxy);
    auto *placementLayout = new QVBoxLayout(placementBox);
    placementLayout->addWidget(suiRadioButton1);
    placementLayout->addLayout(fixedRow);

    auto *paletteBox = new QGroupBox(tr("调色板"), this);
    RbBoardSys = named(new QRadioButton(tr("系统调色板"), paletteBox), "RbBoardSys");
    RbBoardSys->setChecked(true);
    RbBoardBmp = named(new QRadioButton(tr("第一张图片的调色板"), paletteBox), "RbBoardBmp");
    auto *paletteLayout = new QVBoxLayout(paletteBox);
    paletteLayout->addWidget(RbBoardSys);
    paletteLayout->addWidget(RbBoardBmp);

    suiProgressBar1 = named(new QProgressBar(this), "suiProgressBar1");
    suiProgressBar1->setValue(0);
    suiButton2 = named(new QPushButton(tr("开始"), this), "suiButton2");
    suiButton2->setDefault(true);
    suiButton3 = named(new QPushButton(tr("关闭"), this), "suiButton3");

    auto *folderRow = new QHBoxLayout;
    folderRow->addWidget(EditPicPath);
    folderRow->addWidget(suiButton1);
    auto *fileRow = new QHBoxLayout;
    fileRow->addWidget(EditFileName);
    fileRow->addWidget(suiButton4);
    auto *fields = new QFormLayout;
    fields->addRow(tr("图片所在文件夹："), folderRow);
    fields->addRow(tr("新建数据文件："), fileRow);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(suiButton2);
    buttons->addWidget(suiButton3);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(placementBox);
    layout->addWidget(paletteBox);
    layout->addWidget(suiProgressBar1);
    layout->addLayout(buttons);

    connect(suiButton1, &QPushButton::clicked, this, &TFormnew::suiButton1Click);
    connect(suiButton4, &QPushButton::clicked, this, &TFormnew::suiButton4Click);
    connect(suiButton2, &QPushButton::clicked, this, &TFormnew::suiButton2Click);
    connect(suiButton3, &QPushButton::clicked, this, &TFormnew::suiButton3Click);
}

void TFormnew::suiButton1Click()
{
    const QString folder = m_host.pickFolder(this, tr("图片所在文件夹"));
    if (!folder.isEmpty())
        EditPicPath->setText(QDir::toNativeSeparators(folder));
}

void TFormnew::suiButton4Click()
{
    const QString file =
        m_host.dialogs().saveFileReplacing(this, tr("新建数据文件"), EditFileName->text(),
                                           {QStringLiteral("WIL (*.wil)")}, QStringLiteral("wil"));
    if (!file.isEmpty())
        EditFileName->setText(QDir::toNativeSeparators(file));
}

void TFormnew::suiButton2Click()
{
    if (isBusy())
        return;
    if (EditPicPath->text().isEmpty()) {
        m_host.showErrMessage(newmsg::noFolder());
        return;
    }
    if (EditFileName->text().isEmpty()) {
        m_host.showErrMessage(newmsg::noFileName());
        return;
    }
    QCoreApplication::processEvents();

    NewLibraryOptions options;
    options.pictureFolder = QDir::fromNativeSeparators(EditPicPath->text());
    options.libraryPath = QDir::fromNativeSeparators(EditFileName->text());
    options.fixedPlacement = !suiRadioButton1->isChecked();
    options.placement = parseFixedPlacement(editxy->text());
    options.paletteFromFirst = RbBoardBmp->isChecked();

    setBusy(true);
    suiProgressBar1->setValue(0);
    suiProgressBar1->show();
    QString error;
    bool replacedOpen = false;
    const bool ok = createLibrary(
        options, &m_host.wil(), &error,
        [this](int position, int maximum) {
            suiProgressBar1->setRange(0, std::max(maximum, 1));
            suiProgressBar1->setValue(position);
            QCoreApplication::processEvents();
        },
        &replacedOpen);
    suiProgressBar1->hide();
    setBusy(false);
    // The main window's library was this one: its files are new.
    if (replacedOpen)
        m_host.showLibraryAsItIs();
    m_host.showResult(ok, newmsg::done(), newmsg::failed(), error);
    accept();
}

void TFormnew::suiButton3Click()
{
    reject();
}

QList<QWidget *> TFormnew::busyControls() const
{
    QList<QWidget *> controls;
    for (QWidget *w : findChildren<QWidget *>())
        if (w != suiProgressBar1 && !qobject_cast<QGroupBox *>(w))
            controls.append(w);
    return controls;
}
