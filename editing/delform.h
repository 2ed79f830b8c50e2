#pragma once
// The delete window: removes a range of images from the library open in the main window, or
// blanks them. Created once and reused, so its fields keep their values between showings.

#include "busydialog.h"

class EditorHost;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

class TFormdel : public BusyDialog
{
    Q_OBJECT
  public:
    explicit TFormdel(EditorHost &host, QWidget *parent = nullptr);

    QLineEdit *editBegin;
    QLineEdit *EditEnd;
    QRadioButton *RabtnDel;
    QRadioButton *RabtnNull;
    QProgressBar *suiProgressBar1;
    QPushButton *suiButton2; // start
    QPushButton *suiButton3; // close

    // The operations on the host's library; both numbers already checked.
    bool Del(int begin, int end);
    bool Del1(int begin, int end);

  public slots:
    void suiButton2Click();
    void suiButton3Click();

  private:
    QList<QWidget *> busyControls() const override;

    EditorHost &m_host;
    QString m_error; // why the last run failed
};
