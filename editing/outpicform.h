#pragma once
// The batch export window: writes a range of the open library's images into a picture folder.

#include <QDialog>

class EditorHost;
class QLineEdit;
class QProgressBar;
class QPushButton;
struct InputRefusal;

class TFormout : public QDialog
{
    Q_OBJECT
public:
    explicit TFormout(EditorHost &host, QWidget *parent = nullptr);

    // The controls, named as the window's users and tests know them.
    QLineEdit *EditPicPath;  // the picture folder; set only by the folder picker
    QPushButton *suiButton1; // "..."
    QLineEdit *editBegin;    // first image number
    QLineEdit *EditEnd;      // last image number
    QProgressBar *suiProgressBar1;
    QPushButton *suiButton2; // start
    QPushButton *suiButton3; // close

    bool isRunning() const { return m_running; }

public slots:
    void suiButton1Click();
    void suiButton2Click();
    void suiButton3Click();

    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void refuse(const InputRefusal &refusal);

    EditorHost &m_host;
    QWidget *m_controls;
    bool m_running = false;
};
