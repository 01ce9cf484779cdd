#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "EditTestView.h"
#include "editor/text/TextSearch.h"
#include "editor/view/CFindDialog.h"
#include "editor/view/CReplaceDialog.h"
#include "editor/view/EditorProfile.h"

class FindReplaceTest : public QObject, private EditFixture {
    Q_OBJECT

private:
    QTemporaryDir home;
    std::pair<TextPos, TextPos> Selection() const { return {view->SelStart(), view->SelEnd()}; }

    // Ctrl+F; the dialog gets text and options, then "查找下一个" is clicked
    // (or "取消" when cancel is set).
    void FindWithDialog(const QString& text, bool wholeWord, bool matchCase, bool up = false,
                        bool cancel = false) {
        view->onModal = [&](QDialog& d) {
            auto& dlg = static_cast<CFindDialog&>(d);
            dlg.findEdit->setText(text);
            dlg.wholeWordBox->setChecked(wholeWord);
            dlg.matchCaseBox->setChecked(matchCase);
            (up ? dlg.upButton : dlg.downButton)->setChecked(true);
            QTest::mouseClick(cancel ? dlg.cancelButton : dlg.findNextButton, Qt::LeftButton);
        };
        Key(Qt::Key_F, Qt::ControlModifier);
        view->onModal = nullptr;
    }
    // Ctrl+H; the dialog gets its texts, then the given buttons are clicked in turn.
    void ReplaceWithDialog(const QString& what, const QString& with,
                           std::vector<QPushButton * CReplaceDialog::*> clicks) {
        view->onModal = [&](QDialog& d) {
            auto& dlg = static_cast<CReplaceDialog&>(d);
            dlg.findEdit->setText(what);
            dlg.replaceEdit->setText(with);
            for (auto button : clicks)
                QTest::mouseClick(dlg.*button, Qt::LeftButton);
            QTest::mouseClick(dlg.cancelButton, Qt::LeftButton);
        };
        Key(Qt::Key_H, Qt::ControlModifier);
        view->onModal = nullptr;
    }

private slots:
    void initTestCase() {
        QVERIFY(home.isValid());
        qputenv("SERMIDA_HOME", home.path().toUtf8());
    }
    void cleanup() {
        view.reset();
        buffer.ReleaseAll();
    }

    void findDialogCaseAndWholeWord() {
        Open({"xAB ab", "aaa"});
        FindWithDialog("ab", false, false);
        QCOMPARE(Selection(), std::make_pair(TextPos{0, 1}, TextPos{0, 3}));
        QCOMPARE(view->Cursor(), (TextPos{0, 3}));
        PlaceCaretAt(*view, {0, 0});
        FindWithDialog("ab", true, false);
        QCOMPARE(Selection(), std::make_pair(TextPos{0, 4}, TextPos{0, 6}));
        PlaceCaretAt(*view, {1, 0});
        FindWithDialog("aa", true, false);
        QCOMPARE(Selection(), std::make_pair(TextPos{1, 1}, TextPos{1, 3}));
        QVERIFY(view->messages.empty());
        QVERIFY(view->LastSearchValid());
        QCOMPARE(view->LastSearchFlags(), uint32_t(SEARCH_WORD));
        // The options and text went to the profile.
        auto profile = OpenProfile();
        QCOMPARE(profile->value("Editor/Find/FindWhat").toString(), QString("aa"));
        QCOMPARE(profile->value("Editor/Find/WholeWord").toInt(), 1);
        QCOMPARE(profile->value("Editor/Find/MatchCase").toInt(), 0);
    }

    void findNextWrapsAndReportsAMiss() {
        Open({"G1 X1", "Y2", "G1 Z3"});
        QVERIFY(!view->IsCommandEnabled(37126));
        FindWithDialog("g1", false, false);
        QCOMPARE(Selection(), std::make_pair(TextPos{0, 0}, TextPos{0, 2}));
        Key(Qt::Key_F3);
        QCOMPARE(Selection(), std::make_pair(TextPos{2, 0}, TextPos{2, 2}));
        Key(Qt::Key_F3);
        QCOMPARE(Selection(), std::make_pair(TextPos{0, 0}, TextPos{0, 2}));
        // Find previous from a match goes to the one before it, wrapping.
        Key(Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(Selection(), std::make_pair(TextPos{2, 0}, TextPos{2, 2}));
        QVERIFY(view->messages.empty());
        FindWithDialog("Q7", false, false);
        QCOMPARE(view->messages.size(), size_t(1));
        QCOMPARE(view->messages[0], QString("找不到字符串\"Q7\""));
        Key(Qt::Key_F3);
        QCOMPARE(view->messages.size(), size_t(2));
        QCOMPARE(Selection(), std::make_pair(TextPos{2, 0}, TextPos{2, 2}));
    }

    void findPreviousOnTheSameLine() {
        Open({"ab ab ab"});
        PlaceCaretAt(*view, {0, 3});
        FindWithDialog("ab", false, false);
        QCOMPARE(Selection(), std::make_pair(TextPos{0, 3}, TextPos{0, 5}));
        // The cursor stands at the end of the match with another one later on
        // the line: find previous goes back, never forward.
        Key(Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(Selection(), std::make_pair(TextPos{0, 0}, TextPos{0, 2}));
        QVERIFY(!(view->LastSearchFlags() & SEARCH_BACKWARD));
        // The dialog's "向上" searches the same way.
        PlaceCaretAt(*view, {0, 8});
        FindWithDialog("ab", false, false, true);
        QCOMPARE(Selection(), std::make_pair(TextPos{0, 6}, TextPos{0, 8}));
        QVERIFY(view->LastSearchFlags() & SEARCH_BACKWARD);
    }

    void selectionSeedsTheDialogAndCancelKeepsTheText() {
        Open({"G1 X5", "G2 X5"});
        SelectText(*view, {0, 3}, {0, 5});
        QString seeded;
        view->onModal = [&](QDialog& d) {
            auto& dlg = static_cast<CFindDialog&>(d);
            seeded = dlg.findEdit->text();
            dlg.findEdit->setText("G2");
            QTest::mouseClick(dlg.cancelButton, Qt::LeftButton);
        };
        Key(Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(seeded, QString("X5"));
        // Cancelled after typing: find next still searches for the new text.
        Key(Qt::Key_F3);
        QCOMPARE(Selection(), std::make_pair(TextPos{1, 0}, TextPos{1, 2}));
        // A two-line selection does not seed the text.
        SelectText(*view, {0, 0}, {1, 2});
        view->onModal = [&](QDialog& d) {
            seeded = static_cast<CFindDialog&>(d).findEdit->text();
            d.reject();
        };
        Key(Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(seeded, QString("G2"));
    }

    void replaceAllInASelectionStopsAtItsEnd() {
        Open({"aaaaa"});
        SelectText(*view, {0, 0}, {0, 3});
        ReplaceWithDialog("a", "b", {&CReplaceDialog::replaceAllButton});
        QCOMPARE(Text(), std::string("bbbaa"));
        QCOMPARE(view->messages.size(), size_t(1));
        QCOMPARE(view->messages[0], QString("找不到字符串\"a\""));
        // The selection the dialog was opened on comes back, moved with the
        // edits: its end sat on the last replaced byte, so it ends before the b
        // that took that byte's place.
        QCOMPARE(Selection(), std::make_pair(TextPos{0, 0}, TextPos{0, 2}));
        QVERIFY(!view->SelectionSaved());
        // All three replacements are one undo step.
        Key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Text(), std::string("aaaaa"));
        QVERIFY(!buffer.HasUndo());
        auto profile = OpenProfile();
        QCOMPARE(profile->value("Editor/Replace/FindWhat").toString(), QString("a"));
        QCOMPARE(profile->value("Editor/Replace/ReplaceWith").toString(), QString("b"));
    }

    // More matches than the history keeps steps: one Ctrl+Z still restores
    // every byte, one Ctrl+Y replays them all.
    void replaceAllIsOneUndoStepWhateverTheMatches() {
        std::vector<std::string> lines(1100, "N1 G1 X5 ;\xff");
        Open(lines);
        const std::string before = Text();
        ReplaceWithDialog("G1 ", "G01 ", {&CReplaceDialog::replaceAllButton});
        const std::string after = Text();
        QVERIFY(after.find("G1 ") == std::string::npos);
        QCOMPARE(view->UndoMenuText(), QString("撤消 替换\tCtrl+Z"));
        Key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Text(), before);
        QVERIFY(!buffer.HasUndo());
        Key(Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(Text(), after);
        QVERIFY(!buffer.HasRedo());
    }

    void replaceAllWithLongerTextCorrectsTheRange() {
        Open({"a a a a"});
        SelectText(*view, {0, 0}, {0, 5});
        ReplaceWithDialog("a", "xyz", {&CReplaceDialog::replaceAllButton});
        QCOMPARE(Text(), std::string("xyz xyz xyz a"));
    }

    void replaceAllOverTheWholeTextStartsAtTheCursor() {
        Open({"G1 G1", "G1"});
        PlaceCaretAt(*view, {0, 1});
        ReplaceWithDialog("g1", "G01", {&CReplaceDialog::replaceAllButton});
        QCOMPARE(Text(), std::string("G1 G01|G01"));
        QCOMPARE(view->messages.size(), size_t(1));
    }

    void replaceStepsAndUndoTakesTwoSteps() {
        Open({"G1 X1 G1"});
        ReplaceWithDialog("G1", "G01",
                          {&CReplaceDialog::findNextButton, &CReplaceDialog::replaceButton});
        QCOMPARE(Text(), std::string("G01 X1 G1"));
        // The next match was selected at once.
        QCOMPARE(Selection(), std::make_pair(TextPos{0, 7}, TextPos{0, 9}));
        QCOMPARE(view->UndoMenuText(), QString("撤消 替换\tCtrl+Z"));
        Key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Text(), std::string(" X1 G1"));
        Key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Text(), std::string("G1 X1 G1"));
    }

    void replaceRefusesAnEmptyTextAndAProtectedDocument() {
        Open({"abc"});
        ReplaceWithDialog("", "x",
                          {&CReplaceDialog::replaceButton, &CReplaceDialog::replaceAllButton});
        QCOMPARE(view->messages.size(), size_t(2));
        QCOMPARE(view->messages[0], QString("请输入待替换的内容。"));
        buffer.SetWriteProtected(true);
        bool opened = false;
        view->onModal = [&](QDialog&) { opened = true; };
        Key(Qt::Key_H, Qt::ControlModifier);
        QVERIFY(!opened);
    }
};

QTEST_MAIN(FindReplaceTest)
#include "FindReplaceTest.moc"
