#include "editorapplication.h"

#include <QApplication>
#include <QtTest>
#include <qpa/qplatformwindow.h>

namespace {

// The title Qt hands to the window manager for a window whose title is `caption`.
struct PlatformTitle : QPlatformWindow
{
    static QString of(const QString &caption)
    {
        return formatWindowTitle(caption, QStringLiteral(" \u2014 "));
    }
};

} // namespace

class TestEditorApplication : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { setUpEditorApplication(*qApp); }

    void titleIsTheCaptionAlone_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::newRow("main window") << QStringLiteral("VARNEL WIL EDITOR - NEW KOREAN TYPE");
        QTest::newRow("information box") << QStringLiteral("消息！");
        QTest::newRow("error box") << QStringLiteral("错误！");
        QTest::newRow("editing window") << QStringLiteral("删除图片");
    }
    void titleIsTheCaptionAlone()
    {
        QFETCH(QString, caption);
        QCOMPARE(PlatformTitle::of(caption), caption);
        QCOMPARE(QCoreApplication::applicationName(), QString::fromUtf8(kEditorApplicationTitle));
    }
};

QTEST_MAIN(TestEditorApplication)
#include "tst_editorapplication.moc"
