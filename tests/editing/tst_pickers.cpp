// The pickers the windows share: where the folder picker starts, a typed folder that does not
// exist yet (created only after the user agrees), the picture picker's preview, and fields only
// a picker fills, which look read-only.

#include "addoneform.h"
#include "addpicform.h"
#include "fakeeditorhost.h"
#include "folderdialog.h"
#include "folderfixture.h"
#include "newform.h"
#include "outpicform.h"
#include "picturepicker.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace folderfixture;

class TestPickers : public QObject
{
    Q_OBJECT
  private slots:
    void folderPickerStart_data();
    void folderPickerStart();
    void typedFolderIsCreatedAfterAsking_data();
    void typedFolderIsCreatedAfterAsking();
    void picturePreview_data();
    void picturePreview();
    void pickedFieldsLookReadOnly();
};

void TestPickers::folderPickerStart_data()
{
    QTest::addColumn<bool>("libraryOpen");
    QTest::addColumn<QString>("picked");    // chosen in the export window first; "" none
    QTest::addColumn<bool>("removePicked"); // the folder is gone before the next picker
    QTest::addColumn<QString>("expected");  // HOME, LIB (the library's folder) or PICKED
    QTest::newRow("nothing open") << false << "" << false << "HOME";
    QTest::newRow("library open") << true << "" << false << "LIB";
    QTest::newRow("last picked, another window") << true << "pics" << false << "PICKED";
    QTest::newRow("last picked, no library") << false << "pics" << false << "PICKED";
    QTest::newRow("last picked, since removed") << true << "pics" << true << "LIB";
}

void TestPickers::folderPickerStart()
{
    QFETCH(bool, libraryOpen);
    QFETCH(QString, picked);
    QFETCH(bool, removePicked);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QDir(dir.path()).mkdir(QStringLiteral("lib"));
    const QString library = makeSomeLibrary(dir.filePath(QStringLiteral("lib")), 3, 7);
    FakeEditorHost host;
    if (libraryOpen)
        QVERIFY(host.open(library));
    TFormout out(host);
    TFormadd add(host);
    TFormnew create(host);
    const QString pickedPath = dir.filePath(picked);
    if (!picked.isEmpty()) {
        QVERIFY(QDir().mkpath(pickedPath));
        host.scripted.fileAnswers.enqueue(pickedPath);
        out.suiButton1->click();
        QCOMPARE(out.EditPicPath->text(), QDir::toNativeSeparators(pickedPath));
        if (removePicked)
            QVERIFY(QDir(pickedPath).removeRecursively());
    }
    add.suiButton1->click();
    create.suiButton1->click();
    const QString want = expected == u"HOME"  ? QDir::homePath()
                         : expected == u"LIB" ? dir.filePath(QStringLiteral("lib"))
                                              : pickedPath;
    QCOMPARE(host.scripted.folderStarts.mid(picked.isEmpty() ? 0 : 1), (QStringList{want, want}));
}

void TestPickers::typedFolderIsCreatedAfterAsking_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("agree");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("complained");
    QTest::newRow("existing folder") << "there" << false << true << false << false;
    QTest::newRow("new folder, agreed") << "new/sub" << true << true << true << false;
    QTest::newRow("new folder, declined") << "new" << false << false << true << false;
    // A file stands where the folder would go.
    QTest::newRow("cannot be made") << "file/sub" << true << false << true << true;
}

void TestPickers::typedFolderIsCreatedAfterAsking()
{
    QFETCH(QString, typed);
    QFETCH(bool, agree);
    QFETCH(bool, accepted);
    QFETCH(bool, asked);
    QFETCH(bool, complained);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("there")));
    QVERIFY(writeText(dir.filePath(QStringLiteral("file")), "x"));
    FolderDialog dialog(nullptr, QStringLiteral("选择导出的文件夹"), dir.path());
    QStringList questions, complaints;
    dialog.setCreateQuestion([&](const QString &folder) {
        questions << folder;
        return agree;
    });
    dialog.setComplaint([&](const QString &text) { complaints << text; });
    dialog.selectFile(dir.filePath(typed));
    dialog.accept();

    const QString target = QDir::cleanPath(dir.filePath(typed));
    QCOMPARE(dialog.result() == QDialog::Accepted, accepted);
    QCOMPARE(questions, asked ? QStringList{target} : QStringList{});
    QCOMPARE(QFileInfo(target).isDir(), accepted);
    QCOMPARE(complaints.size(), complained ? 1 : 0);
    if (complained)
        QVERIFY2(complaints.first().contains(QDir::toNativeSeparators(target)),
                 qPrintable(complaints.first()));
    if (accepted)
        QCOMPARE(dialog.chosenFolder(), target);
}

void TestPickers::picturePreview_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");  // of the picture written; empty: see name
    QTest::addColumn<QSize>("shown"); // the preview's pixmap; empty: none
    QTest::addColumn<QString>("text");
    QTest::newRow("small") << "a.bmp" << QSize(20, 10) << QSize(20, 10) << "20 × 10";
    QTest::newRow("large, scaled") << "b.png" << QSize(640, 320) << QSize(160, 80) << "640 × 320";
    QTest::newRow("zero-length") << "c.bmp" << QSize() << QSize() << "空图片（0 字节）";
    QTest::newRow("not a picture") << "d.bmp" << QSize() << QSize() << "无法读取此图片";
}

void TestPickers::picturePreview()
{
    QFETCH(QString, name);
    QFETCH(QSize, size);
    QFETCH(QSize, shown);
    QFETCH(QString, text);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(name);
    if (size.isValid()) {
        QImage picture(size, QImage::Format_RGB32);
        picture.fill(Qt::red);
        QVERIFY(picture.save(path));
    } else {
        QVERIFY(writeText(path, name == u"c.bmp" ? QByteArray() : QByteArray("BM not really")));
    }
    PicturePicker picker(nullptr, QStringLiteral("选择图片"));
    picker.setDirectory(dir.path());
    picker.show();
    // The user moves the cursor onto the file, once the dialog has listed the folder.
    auto *list = picker.findChild<QListView *>(QStringLiteral("listView"));
    QVERIFY(list);
    QTRY_VERIFY(list->model()->rowCount(list->rootIndex()) == 1);
    QTest::keyClick(list, Qt::Key_Home);
    QCOMPARE(picker.previewText()->text(), text);
    const QPixmap pixmap = picker.preview()->pixmap();
    QCOMPARE(pixmap.isNull() ? QSize() : pixmap.size(), shown);
    if (!shown.isEmpty())
        QCOMPARE(pixmap.toImage().pixel(0, 0), qRgb(255, 0, 0));
}

void TestPickers::pickedFieldsLookReadOnly()
{
    FakeEditorHost host;
    TFormout out(host);
    TFormadd add(host);
    TFormnew create(host);
    TFormaddone one(host);
    for (QLineEdit *field :
         {out.EditPicPath, add.EditPicPath, create.EditPicPath, create.EditFileName, one.EditPic}) {
        QVERIFY2(field->isReadOnly(), qPrintable(field->objectName()));
        QCOMPARE(field->palette().color(QPalette::Base), field->palette().color(QPalette::Window));
        QVERIFY(field->toolTip().contains(QStringLiteral("“...”")));
    }
}

QTEST_MAIN(TestPickers)
#include "tst_pickers.moc"
