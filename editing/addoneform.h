#pragma once
// The add-one window: puts one picture file into the library open in the main window, behind
// the last image or before the image the main window shows. Created once and reused, so its
// fields keep their values between showings.

#include "busydialog.h"

class EditorHost;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class TFormaddone : public BusyDialog
{
    Q_OBJECT
  public:
    explicit TFormaddone(EditorHost &host, QWidget *parent = nullptr);

    QLabel *Label1;
    QLineEdit *EditPic;      // read-only: set by the picture picker
    QPushButton *suiButton1; // picture picker
    QGroupBox *suiGroupBox3;
    QRadioButton *Rabtnadd;    // append behind the last image
    QRadioButton *RabtnInsert; // insert before the main window's current image
    QGroupBox *suiGroupBox1;
    QLineEdit *editx;
    QLineEdit *EDITy;
    QLabel *Image1;          // hidden: holds the loaded picture
    QPushButton *suiButton2; // run
    QPushButton *suiButton3; // close

    // Inserts `picture` (null: a picture without pixels) as image s of the host's library.
    bool InSert(const QImage &picture, qint16 px, qint16 py, int s);

  public slots:
    void suiButton1Click();
    void suiButton2Click();
    void suiButton3Click();

  private:
    QList<QWidget *> busyControls() const override;

    EditorHost &m_host;
    QString m_error; // why the last run failed
};
