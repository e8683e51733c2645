#include "dirlist.h"
#include "folderaccess.h"
#include "unprivilegedfiles.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QStringList childTexts(const QTreeWidgetItem *item)
{
    QStringList texts;
    for (int i = 0; i < item->childCount(); ++i)
        texts.append(item->child(i)->text(0));
    return texts;
}

QTreeWidgetItem *childNamed(QTreeWidgetItem *item, const QString &name)
{
    for (int i = 0; i < item->childCount(); ++i) {
        if (item->child(i)->text(0) == name)
            return item->child(i);
    }
    return nullptr;
}

// A double-click as the window system delivers it: a click, then the
// second press that arrives as the double-click.
void doubleClick(QWidget *widget, const QPoint &position)
{
    QTest::mouseClick(widget, Qt::LeftButton, {}, position);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, position);
}

} // namespace

class TestDirList : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void setPath_data();
    void setPath();
    void folderThatCannotBeEntered();
    void listsAncestorsThenSubfolders();
    void doubleClickOpensFolder();
    void enterOpensFolder();
    void backspaceAndAncestorsGoUp();
    void pathChangedOncePerChange();
    void refreshShowsNewFolders();

private:
    QString folder(const QString &relative) const { return m_root.path() + u'/' + relative; }

    QTemporaryDir m_root;
    DirList *m_list = nullptr;
};

void TestDirList::init()
{
    QVERIFY(m_root.isValid());
    QDir root(m_root.path());
    for (const QString &name : {u"logs/b"_s, u"logs/A"_s, u"logs/c"_s, u"logs/.hidden"_s,
                                u"logs/with space"_s, u"other"_s, u"locked"_s})
        QVERIFY(root.mkpath(name));
    QFile file(folder(u"logs/f.txt"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(QFile::setPermissions(folder(u"locked"_s), QFileDevice::Permissions()));
    QVERIFY(QFile::setPermissions(
        m_root.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                           QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));

    m_list = new DirList;
    m_list->resize(300, 400);
    m_list->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_list));
}

void TestDirList::cleanup()
{
    delete m_list;
    m_list = nullptr;
    QDir(folder(u"logs/new"_s)).removeRecursively();
    QFile::setPermissions(folder(u"locked"_s),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestDirList::setPath_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("expected");
    QTest::newRow("absolute folder") << u"/"_s << u"logs"_s << true << u"logs"_s;
    QTest::newRow("trailing slash dropped") << u"/"_s << u"logs/"_s << true << u"logs"_s;
    QTest::newRow("doubled and dot parts cleaned")
        << u"/"_s << u"logs//./b"_s << true << u"logs/b"_s;
    QTest::newRow("relative to the current folder") << u"logs"_s << u"@c"_s << true << u"logs/c"_s;
    QTest::newRow("parent") << u"logs/b"_s << u"@.."_s << true << u"logs"_s;
    QTest::newRow("folder with a space")
        << u"/"_s << u"logs/with space"_s << true << u"logs/with space"_s;
    QTest::newRow("hidden folder by name")
        << u"/"_s << u"logs/.hidden"_s << true << u"logs/.hidden"_s;
    QTest::newRow("missing folder refused") << u"logs"_s << u"gone"_s << false << u"logs"_s;
    QTest::newRow("file refused") << u"logs"_s << u"logs/f.txt"_s << false << u"logs"_s;
    QTest::newRow("empty text refused") << u"logs"_s << u"@"_s << false << u"logs"_s;
    QTest::newRow("backslash path refused") << u"logs"_s << u"@\\"_s << false << u"logs"_s;
}

// Paths in the table are under the test's folder; "@" marks one handed over as written.
void TestDirList::setPath()
{
    QFETCH(QString, start);
    QFETCH(QString, path);
    QFETCH(bool, accepted);
    QFETCH(QString, expected);
    const auto resolve = [this](const QString &text) {
        return text == u"/" ? m_root.path() : folder(text);
    };
    QVERIFY(m_list->setPath(resolve(start)));
    const QString given = path.startsWith(u'@') ? path.mid(1) : resolve(path);
    QCOMPARE(m_list->setPath(given), accepted);
    QCOMPARE(m_list->path(), resolve(expected));
    QCOMPARE(DirList::pathOf(m_list->currentItem()), resolve(expected));
}

void TestDirList::folderThatCannotBeEntered()
{
    QVERIFY(m_list->setPath(folder(u"logs"_s)));
    {
        UnprivilegedFiles unprivileged;
        QVERIFY(!canEnterFolder(folder(u"locked"_s)));
        QVERIFY(canEnterFolder(folder(u"other"_s)));
        QVERIFY(!m_list->setPath(folder(u"locked"_s)));
        QVERIFY(m_list->setPath(folder(u"other"_s)));
    }
    QCOMPARE(m_list->path(), folder(u"other"_s));
}

void TestDirList::listsAncestorsThenSubfolders()
{
    QVERIFY(m_list->setPath(folder(u"logs"_s)));
    QTreeWidgetItem *item = m_list->topLevelItem(0);
    QCOMPARE(m_list->topLevelItemCount(), 1);
    QCOMPARE(item->text(0), u"/"_s);

    const QStringList parts = folder(u"logs"_s).split(u'/', Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        QCOMPARE(item->childCount(), 1);
        item = item->child(0);
        QCOMPARE(item->text(0), part);
    }
    QCOMPARE(m_list->currentItem(), item);
    QCOMPARE(DirList::pathOf(item), folder(u"logs"_s));
    QCOMPARE(childTexts(item), (QStringList{u"A"_s, u"b"_s, u"c"_s, u"with space"_s}));
    QCOMPARE(DirList::pathOf(item->child(1)), folder(u"logs/b"_s));
}

void TestDirList::doubleClickOpensFolder()
{
    QVERIFY(m_list->setPath(folder(u"logs"_s)));
    QTreeWidgetItem *target = childNamed(m_list->currentItem(), u"c"_s);
    QVERIFY(target);
    const QPoint centre = m_list->visualItemRect(target).center();
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, centre);
    QCOMPARE(m_list->path(), folder(u"logs"_s));
    doubleClick(m_list->viewport(), centre);
    QCOMPARE(m_list->path(), folder(u"logs/c"_s));
}

void TestDirList::enterOpensFolder()
{
    QVERIFY(m_list->setPath(folder(u"logs"_s)));
    m_list->setFocus();
    QTest::keyClick(m_list, Qt::Key_Down);
    QCOMPARE(m_list->currentItem()->text(0), u"A"_s);
    QTest::keyClick(m_list, Qt::Key_Down);
    QCOMPARE(m_list->path(), folder(u"logs"_s));
    QTest::keyClick(m_list, Qt::Key_Return);
    QCOMPARE(m_list->path(), folder(u"logs/b"_s));
}

void TestDirList::backspaceAndAncestorsGoUp()
{
    QVERIFY(m_list->setPath(folder(u"logs/b"_s)));
    m_list->setFocus();
    QTest::keyClick(m_list, Qt::Key_Backspace);
    QCOMPARE(m_list->path(), folder(u"logs"_s));

    // The entry just above the current folder is its parent.
    QTreeWidgetItem *parent = m_list->currentItem()->parent();
    doubleClick(m_list->viewport(), m_list->visualItemRect(parent).center());
    QCOMPARE(m_list->path(), m_root.path());

    QVERIFY(m_list->setPath(u"/"_s));
    QTest::keyClick(m_list, Qt::Key_Backspace);
    QCOMPARE(m_list->path(), u"/"_s);
}

void TestDirList::pathChangedOncePerChange()
{
    QVERIFY(m_list->setPath(folder(u"logs"_s)));
    QSignalSpy changed(m_list, &DirList::pathChanged);
    QVERIFY(m_list->setPath(folder(u"logs/b"_s)));
    QVERIFY(m_list->setPath(folder(u"logs/b/"_s)));
    QVERIFY(!m_list->setPath(folder(u"missing"_s)));
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.at(0).at(0).toString(), folder(u"logs/b"_s));
}

void TestDirList::refreshShowsNewFolders()
{
    QVERIFY(m_list->setPath(folder(u"logs"_s)));
    QVERIFY(QDir().mkpath(folder(u"logs/new"_s)));
    QVERIFY(QDir(folder(u"logs/c"_s)).removeRecursively());
    m_list->refresh();
    QCOMPARE(childTexts(m_list->currentItem()),
             (QStringList{u"A"_s, u"b"_s, u"new"_s, u"with space"_s}));
    QCOMPARE(m_list->path(), folder(u"logs"_s));
}

QTEST_MAIN(TestDirList)
#include "tst_dirlist.moc"
