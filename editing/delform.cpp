#include "delform.h"

#include "del.h"
#include "editorhost.h"
#include "mywil.h"

#include <QCoreApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

TFormdel::TFormdel(EditorHost &host, QWidget *parent) : BusyDialog(parent), m_host(host)
{
    setObjectName(QStringLiteral("Formdel"));
    setWindowTitle(tr("删除图片"));
    setModal(true);

    editBegin = new QLineEdit(QStringLiteral("0"), this);
    editBegin->setObjectName(QStringLiteral("editBegin"));
    EditEnd = new QLineEdit(QStringLiteral("0"), this);
    EditEnd->setObjectName(QStringLiteral("EditEnd"));
    RabtnDel = new QRadioButton(tr("删除图片（后面的图片前移）"), this);
    RabtnDel->setObjectName(QStringLiteral("RabtnDel"));
    RabtnDel->setChecked(true);
    RabtnNull = new QRadioButton(tr("清空图片（保留编号和坐标）"), this);
    RabtnNull->setObjectName(QStringLiteral("RabtnNull"));
    suiProgressBar1 = new QProgressBar(this);
    suiProgressBar1->setObjectName(QStringLiteral("suiProgressBar1"));
    suiProgressBar1->setValue(0);
    suiProgressBar1->hide();
    suiButton2 = new QPushButton(tr("开始"), this);
    suiButton2->setObjectName(QStringLiteral("suiButton2"));
    suiButton2->setDefault(true);
    suiButton3 = new QPushButton(tr("关闭"), this);
    suiButton3->setObjectName(QStringLiteral("suiButton3"));

    auto *range = new QFormLayout;
    range->addRow(tr("起始编号："), editBegin);
    range->addRow(tr("结束编号："), EditEnd);
    auto *mode = new QVBoxLayout;
    mode->addWidget(RabtnDel);
    mode->addWidget(RabtnNull);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(suiButton2);
    buttons->addWidget(suiButton3);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(range);
    layout->addLayout(mode);
    layout->addWidget(suiProgressBar1);
    layout->addLayout(buttons);

    connect(suiButton2, &QPushButton::clicked, this, &TFormdel::suiButton2Click);
    connect(suiButton3, &QPushButton::clicked, this, &TFormdel::suiButton3Click);
}

void TFormdel::suiButton2Click()
{
    if (isBusy())
        return;
    suiProgressBar1->setValue(0);
    TWIL &wil = m_host.wil();
    // A component that is not open has no images, whatever count it last had.
    const int count = wil.isOpen() ? wil.ImageCount() : 0;
    int begin = 0;
    int end = 0;
    switch (checkRange(editBegin->text(), EditEnd->text(), count, &begin, &end)) {
    case RangeRefusal::Begin:
        m_host.showErrMessage(delmsg::badNumber());
        editBegin->setFocus();
        return;
    case RangeRefusal::End:
        m_host.showErrMessage(delmsg::badNumber());
        EditEnd->setFocus();
        return;
    case RangeRefusal::None:
        break;
    }

    setBusy(true);
    m_error.clear();
    const bool ok = RabtnDel->isChecked() ? Del(begin, end) : Del1(begin, end);
    setBusy(false);
    m_host.showLibraryAsItIs();
    m_host.showResult(ok, delmsg::done(), delmsg::failed(), m_error);
    accept();
}

void TFormdel::suiButton3Click()
{
    reject();
}

bool TFormdel::Del(int begin, int end)
{
    TWIL &wil = m_host.wil();
    return ::Del(wil, begin, end, &m_error);
}

bool TFormdel::Del1(int begin, int end)
{
    suiProgressBar1->setRange(0, end - begin + 1);
    suiProgressBar1->setValue(0);
    suiProgressBar1->show();
    const bool ok = ::Del1(m_host.wil(), begin, end, &m_error, [this](int position, int maximum) {
        suiProgressBar1->setRange(0, maximum);
        suiProgressBar1->setValue(position);
        QCoreApplication::processEvents();
    });
    suiProgressBar1->hide();
    return ok;
}

QList<QWidget *> TFormdel::busyControls() const
{
    return {editBegin, EditEnd, RabtnDel, RabtnNull, suiButton2, suiButton3};
}
