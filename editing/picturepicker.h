#pragma once
// The picture picker: Qt's open dialog with a preview of the picture under the cursor and its
// size, so that the user sees what is chosen before an import writes it.

#include <QFileDialog>

class QLabel;

class PicturePicker : public QFileDialog
{
    Q_OBJECT
  public:
    static constexpr int PreviewSide = 160;

    PicturePicker(QWidget *parent, const QString &caption);

    QLabel *preview() const { return m_preview; }
    QLabel *previewText() const { return m_previewText; }

    // Shows the picture at `path`, or says why there is none.
    void showPreview(const QString &path);

  private:
    QLabel *m_preview;
    QLabel *m_previewText;
};
