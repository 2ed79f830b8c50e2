#pragma once
// An editing window that a run in progress keeps open: its controls are disabled for the length
// of the run, and closing it (Esc, the title bar's button) is refused until the run is over,
// since the run lets events through to keep the progress bar moving.

#include <QDialog>
#include <QList>

class BusyDialog : public QDialog
{
    Q_OBJECT

  public:
    using QDialog::QDialog;
    bool isBusy() const { return m_busy; }

  public slots:
    void reject() override;

  protected:
    // Starts or ends a run: busyControls() are disabled while it lasts.
    void setBusy(bool busy);
    virtual QList<QWidget *> busyControls() const = 0;

  private:
    bool m_busy = false;
};
