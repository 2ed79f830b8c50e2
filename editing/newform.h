#pragma once
// The create window: builds a new library from a picture folder. Created once and reused, so
// its fields keep their values between showings.

#include "busydialog.h"

class EditorHost;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

class TFormnew : public BusyDialog
{
    Q_OBJECT
  public:
    explicit TFormnew(EditorHost &host, QWidget *parent = nullptr);

    QLineEdit *EditPicPath;        // read-only: set by the folder picker
    QPushButton *suiButton1;       // folder picker
    QLineEdit *EditFileName;       // read-only: set by the save dialog
    QPushButton *suiButton4;       // save dialog
    QRadioButton *suiRadioButton1; // placements from the placement files
    QRadioButton *suiRadioButton2; // one fixed placement
    QLineEdit *editxy;
    QRadioButton *RbBoardSys; // the template's palette
    QRadioButton *RbBoardBmp; // the first picture's colour table
    QProgressBar *suiProgressBar1;
    QPushButton *suiButton2; // start
    QPushButton *suiButton3; // close

  public slots:
    void suiButton1Click();
    void suiButton4Click();
    void suiButton2Click();
    void suiButton3Click();

  private:
    QList<QWidget *> busyControls() const override;

    EditorHost &m_host;
};
