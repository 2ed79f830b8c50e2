#include "busydialog.h"

void BusyDialog::reject()
{
    if (!m_busy)
        QDialog::reject();
}

void BusyDialog::setBusy(bool busy)
{
    m_busy = busy;
    for (QWidget *w : busyControls())
        w->setEnabled(!busy);
}
