#include "fakeeditorhost.h"

#include <QApplication>
#include <QWidget>

namespace {
QWidget *currentFocus()
{
    if (QWidget *w = QApplication::focusWidget())
        return w;
    for (QWidget *top : QApplication::topLevelWidgets())
        if (top->isVisible() && top->focusWidget())
            return top->focusWidget();
    return nullptr;
}
} // namespace

FakeEditorHost::FakeEditorHost()
{
    component.setNotifier([this](const QString &text) { notices << text; });
}

bool FakeEditorHost::open(const QString &libraryPath)
{
    component.Close();
    component.FileName = libraryPath;
    try {
        component.Open();
    } catch (const WilError &e) {
        notices << e.message();
        return false;
    }
    return component.isOpen();
}

QStringList FakeEditorHost::infoTexts() const
{
    QStringList texts;
    for (const auto &m : scripted.messages)
        if (m.caption == infoCaption())
            texts << m.text;
    return texts;
}

QStringList FakeEditorHost::errorTexts() const
{
    QStringList texts;
    for (const auto &m : scripted.messages)
        if (m.caption == errorCaption())
            texts << m.text;
    return texts;
}

void FakeEditorHost::showMessage(const QString &text)
{
    focusAtMessage << currentFocus();
    scripted.message(nullptr, infoCaption(), text, Dialogs::Icon::Information);
}

void FakeEditorHost::showErrMessage(const QString &text)
{
    focusAtMessage << currentFocus();
    scripted.message(nullptr, errorCaption(), text, Dialogs::Icon::Warning);
}

