#pragma once
// What the editor sets up on its application object before the first window is made: its name
// and the Chinese texts of the messages the core gives in English.

class QApplication;

// The application title; the editor's windows carry their own captions alone.
extern const char *const kEditorApplicationTitle;

void setUpEditorApplication(QApplication &app);
