#pragma once
// What the editing windows need of the main window. The main window implements it; window
// tests use a small fake.

#include <QString>

class QWidget;
class TWIL;
class Dialogs;

class EditorHost
{
public:
    virtual ~EditorHost() = default;
    virtual TWIL &wil() = 0;
    virtual int currentImage() const = 0;
    virtual Dialogs &dialogs() = 0;
    // Information box (caption "消息！") and error box (caption "错误！").
    virtual void showMessage(const QString &text) = 0;
    virtual void showErrMessage(const QString &text) = 0;
    // Shows the library as the component now holds it (the current image within the new
    // count, the panel, the grid rows and cells): the one refresh after a window changed it.
    virtual void showLibraryAsItIs() = 0;

    // The folder picker, starting in the last folder picked in this run, else in the open
    // library's folder, else in the home folder. Empty when cancelled.
    QString pickFolder(QWidget *parent, const QString &caption);

    // A run's result: `done` in the information box, or `failed` in the error box with the
    // reason the operation gave on a second line (the first line stays the window's own
    // message).
    void showResult(bool ok, const QString &done, const QString &failed, const QString &reason)
    {
        if (ok)
            showMessage(done);
        else
            showErrMessage(reason.isEmpty() ? failed : failed + QLatin1Char('\n') + reason);
    }

  private:
    QString m_lastPickedFolder;
};
