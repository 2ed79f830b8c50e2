#include "addoneform.h"

#include "addone.h"
#include "dialogs.h"
#include "editorhost.h"
#include "integertext.h"
#include "mywil.h"
#include "pickedfield.h"
#include "pictureloader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
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

TFormaddone::TFormaddone(EditorHost &host, QWidget *parent) : BusyDialog(parent), m_host(host)
{
    setObjectName(QStringLiteral("Formaddone"));
    setWindowTitle(tr("添加图片"));
    setModal(true);

    Label1 = named(new QLabel(tr("图片文件："), this), "Label1");
    EditPic = named(new QLineEdit(this), "EditPic");
    makePickedField(EditPic, tr("用“...”按钮选择图片文件"));
    Label1->setBuddy(EditPic);
    suiButton1 = named(new QPushButton(QStringLiteral("..."), this), "suiButton1");
    suiButton1->setFixedWidth(32);

    suiGroupBox3 = named(new QGroupBox(tr("位置"), this), "suiGroupBox3");
    Rabtnadd = named(new QRadioButton(tr("加在最后"), suiGroupBox3), "Rabtnadd");
    Rabtnadd->setChecked(true);
    RabtnInsert = named(new QRadioButton(tr("插入到当前图片之前"), suiGroupBox3), "RabtnInsert");
    auto *placeLayout = new QVBoxLayout(suiGroupBox3);
    placeLayout->addWidget(Rabtnadd);
    placeLayout->addWidget(RabtnInsert);

    suiGroupBox1 = named(new QGroupBox(tr("坐标"), this), "suiGroupBox1");
    editx = named(new QLineEdit(QStringLiteral("0"), suiGroupBox1), "editx");
    EDITy = named(new QLineEdit(QStringLiteral("0"), suiGroupBox1), "EDITy");
    auto *xyLayout = new QFormLayout(suiGroupBox1);
    xyLayout->addRow(QStringLiteral("X:"), editx);
    xyLayout->addRow(QStringLiteral("Y:"), EDITy);

    Image1 = named(new QLabel(this), "Image1");
    Image1->hide();
    suiButton2 = named(new QPushButton(tr("确定"), this), "suiButton2");
    suiButton2->setDefault(true);
    suiButton3 = named(new QPushButton(tr("关闭"), this), "suiButton3");

    auto *pictureRow = new QHBoxLayout;
    pictureRow->addWidget(Label1);
    pictureRow->addWidget(EditPic);
    pictureRow->addWidget(suiButton1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(suiButton2);
    buttons->addWidget(suiButton3);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(pictureRow);
    layout->addWidget(suiGroupBox3);
    layout->addWidget(suiGroupBox1);
    layout->addWidget(Image1);
    layout->addLayout(buttons);

    connect(suiButton1, &QPushButton::clicked, this, &TFormaddone::suiButton1Click);
    connect(suiButton2, &QPushButton::clicked, this, &TFormaddone::suiButton2Click);
    connect(suiButton3, &QPushButton::clicked, this, &TFormaddone::suiButton3Click);
}

void TFormaddone::suiButton1Click()
{
    const QString file = m_host.dialogs().openPicture(this, tr("选择图片"));
    if (!file.isEmpty())
        EditPic->setText(QDir::toNativeSeparators(file));
    QCoreApplication::processEvents();
}

void TFormaddone::suiButton2Click()
{
    if (isBusy())
        return;
    if (EditPic->text().isEmpty()) {
        m_host.showErrMessage(addonemsg::noPicture());
        return;
    }
    const LoadedPicture picture = loadPicture(QDir::fromNativeSeparators(EditPic->text()));
    if (picture.status == LoadedPicture::Unreadable) {
        m_host.showErrMessage(picture.error);
        return;
    }
    Image1->setPixmap(picture.status == LoadedPicture::Loaded ? QPixmap::fromImage(picture.image)
                                                              : QPixmap());
    const auto px = qint16(lenientInteger(editx->text()));
    const auto py = qint16(lenientInteger(EDITy->text()));

    setBusy(true);
    TWIL &wil = m_host.wil();
    m_error.clear();
    const bool ok = Rabtnadd->isChecked() ? appendOnePicture(wil, picture.image, px, py, &m_error)
                                          : InSert(picture.image, px, py, m_host.currentImage());
    // Read the count and offsets afresh, whatever happened.
    const QString fileName = wil.FileName;
    wil.Close();
    wil.FileName = fileName;
    try {
        wil.Open();
    } catch (const WilError &) {
    }
    setBusy(false);
    m_host.showResult(ok, addonemsg::done(), addonemsg::failed(), m_error);
    accept();
}

bool TFormaddone::InSert(const QImage &picture, qint16 px, qint16 py, int s)
{
    return insertOnePicture(m_host.wil(), picture, px, py, s, &m_error,
                            [](int, int) { QCoreApplication::processEvents(); });
}

void TFormaddone::suiButton3Click()
{
    reject();
}

QList<QWidget *> TFormaddone::busyControls() const
{
    return {suiButton1, suiGroupBox3, suiGroupBox1, suiButton2, suiButton3};
}
