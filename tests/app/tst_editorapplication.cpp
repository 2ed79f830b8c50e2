// The editor's application set-up: window titles carry their caption alone, and every message
// the editor can show comes out in Chinese, while wiltool keeps the core's English.

#include "editorapplication.h"
#include "mail.h"
#include "mywil.h"
#include "scripteddialogs.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
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

bool hasChinese(const QString &text)
{
    static const QRegularExpression han(QStringLiteral("\\p{Han}"));
    return text.contains(han);
}

// Text a user reads: at least one word of letters (not a file pattern or a placeholder).
bool isWords(const QString &text)
{
    static const QRegularExpression word(QStringLiteral("[A-Za-z]{2,}"));
    return text.contains(word);
}

// A 500-byte "short.wil": too short for a library's header and palette. Empty when it could
// not be written.
QString writeShortFile(const QTemporaryDir &dir)
{
    const QString path = dir.filePath(QStringLiteral("short.wil"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(QByteArray(500, 'x')) != 500)
        return {};
    return path;
}

struct Message
{
    QString context;
    QString source;
};

// Every text marked for translation in the sources the editor is built from, as lupdate finds
// them now (not as the committed translation file last saw them).
QList<Message> markedMessages(const QString &scratch, QString *error)
{
    const QString ts = scratch + QStringLiteral("/all.ts");
    QProcess lupdate;
    QStringList args = QStringLiteral(WIL_TRANSLATED_DIRS).split(u'|');
    args << QStringLiteral("-silent") << QStringLiteral("-ts") << ts;
    lupdate.start(QStringLiteral(WIL_LUPDATE), args);
    if (!lupdate.waitForFinished(120000) || lupdate.exitCode() != 0) {
        *error = QString::fromLocal8Bit(lupdate.readAllStandardError());
        return {};
    }
    QFile file(ts);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return {};
    }
    QList<Message> messages;
    QXmlStreamReader xml(&file);
    QString context;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"name")
            context = xml.readElementText();
        else if (xml.name() == u"source")
            messages.append({context, xml.readElementText()});
    }
    if (xml.hasError())
        *error = xml.errorString();
    return messages;
}

} // namespace

class TestEditorApplication : public QObject
{
    Q_OBJECT
  private slots:
    void initTestCase() { setUpEditorApplication(*qApp); }

    void titleIsTheCaptionAlone_data();
    void titleIsTheCaptionAlone();
    void everyMarkedMessageHasAChineseText();
    void coreMessagesShowInChinese();
    void wiltoolKeepsEnglish();
};

void TestEditorApplication::titleIsTheCaptionAlone_data()
{
    QTest::addColumn<QString>("caption");
    QTest::newRow("main window") << QStringLiteral("VARNEL WIL EDITOR - NEW KOREAN TYPE");
    QTest::newRow("information box") << QStringLiteral("消息！");
    QTest::newRow("error box") << QStringLiteral("错误！");
    QTest::newRow("editing window") << QStringLiteral("删除图片");
}

void TestEditorApplication::titleIsTheCaptionAlone()
{
    QFETCH(QString, caption);
    QCOMPARE(PlatformTitle::of(caption), caption);
    QCOMPARE(QCoreApplication::applicationName(), QString::fromUtf8(kEditorApplicationTitle));
}

void TestEditorApplication::everyMarkedMessageHasAChineseText()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString error;
    const QList<Message> messages = markedMessages(dir.path(), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(messages.size() > 100);
    QStringList untranslated;
    for (const Message &m : messages) {
        if (hasChinese(m.source) || !isWords(m.source))
            continue;
        const QString shown =
            QCoreApplication::translate(qPrintable(m.context), qPrintable(m.source));
        if (!hasChinese(shown))
            untranslated << m.context + QStringLiteral(": ") + m.source;
    }
    QVERIFY2(untranslated.isEmpty(),
             qPrintable(QStringLiteral("no Chinese text (build the target update_translations and "
                                       "translate app/translations/wileditor_zh_CN.ts):\n") +
                        untranslated.join(u'\n')));
}

void TestEditorApplication::coreMessagesShowInChinese()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A file too short for a library: the component's notice, which names the file, and the
    // window's own box, both in Chinese.
    const QString shortFile = writeShortFile(dir);
    QVERIFY(!shortFile.isEmpty());
    ScriptedDialogs dialogs;
    TFormMain window(dialogs);
    QVERIFY(!window.openLibrary(shortFile));
    QVERIFY(!dialogs.messages.isEmpty());
    for (const auto &shown : dialogs.messages)
        QVERIFY2(hasChinese(shown.text) && !shown.text.contains(QStringLiteral("too short")),
                 qPrintable(shown.text));
    QVERIFY2(dialogs.messages.first().text.contains(QStringLiteral("short.wil")),
             qPrintable(dialogs.messages.first().text));

    // The component's own refusal.
    TWIL wil;
    QVERIFY(!wil.ReplaceBitmap(0, QImage(2, 2, QImage::Format_RGB32)));
    QCOMPARE(wil.errorString(), QStringLiteral("没有打开数据文件。"));
}

void TestEditorApplication::wiltoolKeepsEnglish()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString shortFile = writeShortFile(dir);
    QVERIFY(!shortFile.isEmpty());
    QProcess tool;
    tool.start(qEnvironmentVariable("WILTOOL"), {QStringLiteral("info"), shortFile});
    QVERIFY(tool.waitForFinished(60000));
    const QString said = QString::fromUtf8(tool.readAllStandardError());
    QVERIFY2(said.contains(QStringLiteral("too short to hold the header and the palette")),
             qPrintable(said));
}

QTEST_MAIN(TestEditorApplication)
#include "tst_editorapplication.moc"
