#pragma once
// The main window as the editing windows see it, for window tests: a real library component,
// scripted dialogs, and a record of every box and grid change.

#include "editorhost.h"
#include "mywil.h"
#include "scripteddialogs.h"

#include <QList>
#include <QPointer>
#include <QStringList>

class FakeEditorHost : public EditorHost
{
public:
    FakeEditorHost();

    TWIL component;
    ScriptedDialogs scripted;
    int current = 0;
    // The component's image count at every showLibraryAsItIs, in order.
    QList<int> refreshedCounts;

    // Opens `libraryPath` in the component (closing whatever was open); false when it did not
    // open. What the component tells the user lands in `notices`.
    bool open(const QString &libraryPath);
    QStringList notices;

    // The widget that had the input focus when each box was shown (windows that close after
    // a box lose their focus widget, so tests look here).
    QList<QWidget *> focusAtMessage;

    // Texts of the information boxes ("消息！") and error boxes ("错误！"), in order.
    QStringList infoTexts() const;
    QStringList errorTexts() const;
    void clearMessages() { scripted.messages.clear(); }

    TWIL &wil() override { return component; }
    int currentImage() const override { return current; }
    Dialogs &dialogs() override { return scripted; }
    void showMessage(const QString &text) override;
    void showErrMessage(const QString &text) override;
    void showLibraryAsItIs() override { refreshedCounts << component.ImageCount(); }

    static QString infoCaption() { return QStringLiteral("消息！"); }
    static QString errorCaption() { return QStringLiteral("错误！"); }
};
