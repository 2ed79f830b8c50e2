#pragma once
// The batch window: brings a picture folder into the open library, as whole pictures with
// their placements (appended, inserted or in place of a range), as pixels only, or as
// placements only.

#include <QDialog>

class EditorHost;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
struct InputRefusal;
namespace addpic {
struct Request;
}

class TFormadd : public QDialog
{
    Q_OBJECT
public:
    explicit TFormadd(EditorHost &host, QWidget *parent = nullptr);

    // The controls, named as the window's users and tests know them.
    QGroupBox *suiGroupBox4; // source mode
    QRadioButton *RabtnAll;  // pictures with placements
    QRadioButton *RabtnPic;  // pixels only
    QRadioButton *Rabtnxy;   // placements only
    QLabel *Label1;
    QLineEdit *EditPicPath;  // the folder; set only by the folder picker (emptied after a run)
    QPushButton *suiButton1; // "..."
    QGroupBox *suiGroupBox2; // range
    QLineEdit *editBegin;
    QLineEdit *EditEnd;
    QGroupBox *suiGroupBox3; // operation of picture-and-placement mode
    QRadioButton *RabtnAdd;
    QRadioButton *RabtnInsert;
    QRadioButton *RabtnReplace;
    QGroupBox *GroupBoxxy;         // placement source
    QRadioButton *RabtnFile;       // placement files
    QRadioButton *suiRadioButton2; // the fixed placement of editxy
    QLineEdit *editxy;
    QProgressBar *suiProgressBar1;
    QPushButton *suiButton2; // run
    QPushButton *suiButton3; // close

    bool isRunning() const { return m_running; }

public slots:
    void suiButton1Click();
    void suiButton2Click();
    void suiButton3Click();
    void RabtnPicClick();
    void RabtnInsertClick();

    // The three modes' front ends: check the fields (error box and focus when refused), run
    // the operation, and return its result.
    bool AddAll();
    bool AddPic();
    bool AddXy();

    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    addpic::Request request() const;
    bool refuse(const InputRefusal &refusal);
    bool runPlan(const addpic::Request &request, bool failureKeepsWindowOpen);

    EditorHost &m_host;
    QWidget *m_controls;
    bool m_running = false;
    // Set when a file or folder problem was reported: the window then stays open.
    bool m_stayOpen = false;
    QString m_focusField; // objectName of the field a refusal puts the focus on
    QString m_error;      // why the last run failed
};
