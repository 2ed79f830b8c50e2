#pragma once
// Input that an editing window refuses, described without widgets so that the window and the
// command line refuse it with the same words.

#include <QString>

struct InputRefusal
{
    enum Kind
    {
        None,    // the input is accepted
        Refused, // error box with `message`, focus on `field`
        Failed   // a file or folder problem: error box naming it, the window stays open
    };
    Kind kind = None;
    QString message;
    QString field; // objectName of the control that takes the focus; empty for none

    bool accepted() const { return kind == None; }
    static InputRefusal refused(const QString &message, const QString &field = {})
    {
        return {Refused, message, field};
    }
    static InputRefusal failed(const QString &message) { return {Failed, message, {}}; }
};
