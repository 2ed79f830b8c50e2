#include "picturepicker.h"

#include "pictureloader.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QImageReader>
#include <QLabel>
#include <QVBoxLayout>

PicturePicker::PicturePicker(QWidget *parent, const QString &caption) : QFileDialog(parent, caption)
{
    // The preview goes into Qt's own dialog; a native one has no room for it.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setFileMode(QFileDialog::ExistingFile);
    QStringList patterns;
    for (const QByteArray &format : QImageReader::supportedImageFormats())
        patterns << QStringLiteral("*.") + QString::fromLatin1(format);
    setNameFilters({tr("图片 (%1)").arg(patterns.join(u' ')), tr("所有文件 (*)")});

    m_preview = new QLabel(this);
    m_preview->setObjectName(QStringLiteral("preview"));
    m_preview->setFixedSize(PreviewSide, PreviewSide);
    m_preview->setAlignment(Qt::AlignCenter);
    m_preview->setFrameShape(QFrame::StyledPanel);
    m_previewText = new QLabel(this);
    m_previewText->setObjectName(QStringLiteral("previewText"));
    m_previewText->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_previewText->setWordWrap(true);
    m_previewText->setFixedWidth(PreviewSide);
    auto *column = new QVBoxLayout;
    column->addWidget(m_preview);
    column->addWidget(m_previewText);
    column->addStretch();
    if (auto *grid = qobject_cast<QGridLayout *>(layout()))
        grid->addLayout(column, 0, grid->columnCount(), grid->rowCount(), 1);

    connect(this, &QFileDialog::currentChanged, this, &PicturePicker::showPreview);
}

void PicturePicker::showPreview(const QString &path)
{
    m_preview->clear();
    m_previewText->clear();
    if (path.isEmpty() || QFileInfo(path).isDir())
        return;
    // The same loader as the import: bounded in size, refusing what is not a plain file.
    const LoadedPicture picture = loadPicture(path);
    switch (picture.status) {
    case LoadedPicture::Loaded: {
        const QImage &image = picture.image;
        const bool fits = image.width() <= PreviewSide && image.height() <= PreviewSide;
        m_preview->setPixmap(
            QPixmap::fromImage(fits ? image
                                    : image.scaled(PreviewSide, PreviewSide, Qt::KeepAspectRatio,
                                                   Qt::SmoothTransformation)));
        m_previewText->setText(QStringLiteral("%1 × %2").arg(image.width()).arg(image.height()));
        break;
    }
    case LoadedPicture::Empty:
        m_previewText->setText(tr("空图片（0 字节）"));
        break;
    case LoadedPicture::Unreadable:
        m_previewText->setText(tr("无法读取此图片"));
        break;
    }
}
