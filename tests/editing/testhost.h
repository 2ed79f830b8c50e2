#pragma once
// A main window for the editing windows' tests: its own library component, scripted dialogs,
// and a record of the boxes shown and the grid refreshes asked for.

#include "editorhost.h"
#include "mywil.h"
#include "scripteddialogs.h"

#include <QList>
#include <QString>

class TestHost : public EditorHost
{
public:
    struct Box
    {
        bool error; // error box ("错误！") or information box ("消息！")
        QString text;
    };

    TWIL library;
    ScriptedDialogs scripted;
    QList<Box> boxes;
    int current = 0;
    int gridRows = -1; // last row count set, -1: never
    int gridRepaints = 0;

    TestHost()
    {
        library.setNotifier([this](const QString &text) { boxes.append({true, text}); });
    }

    // Opens `path` in the component, as the main window's picker does.
    bool open(const QString &path)
    {
        library.Close();
        library.FileName = path;
        library.Open();
        return library.isOpen();
    }

    QString lastText() const { return boxes.isEmpty() ? QString() : boxes.last().text; }
    bool lastIsError() const { return !boxes.isEmpty() && boxes.last().error; }

    TWIL &wil() override { return library; }
    int currentImage() const override { return current; }
    Dialogs &dialogs() override { return scripted; }
    void showMessage(const QString &text) override { boxes.append({false, text}); }
    void showErrMessage(const QString &text) override { boxes.append({true, text}); }
    void setGridRows(int rows) override { gridRows = rows; }
    void repaintGrid() override { ++gridRepaints; }
};
