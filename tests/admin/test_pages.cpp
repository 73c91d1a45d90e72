// Every page of a token together: what the PIN edits keep once emptied and once their page is gone.
#include "box_watcher.h"
#include "held_text.h"
#include "page_controls.h"
#include "qt_test_main.h"
#include "widgets/admin_widget.h"
#include "widgets/gen_info_widget.h"
#include "widgets/login_widget.h"

#include <QLayout>

#include <functional>

using namespace morvil::test;

namespace {

QList<QLineEdit*> pinEditsOf(QWidget* page)
{
    QList<QLineEdit*> edits = page->findChildren<QLineEdit*>();
    edits.removeIf([](QLineEdit* edit) { return edit->echoMode() != QLineEdit::Password; });
    return edits;
}

} // namespace

class PagesTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<BoxWatcher> mBoxes;

private slots:
    void init() { mBoxes = std::make_unique<BoxWatcher>(); }
    void cleanup() { QCOMPARE(mBoxes->finish(), QStringList()); }

    // Every PIN edit of every page, typed into as the user does and then emptied, keeps no copy of
    // what it held: not as its text, nor in its undo history, which gives the characters back as
    // soon as the edit echoes normally again. A page that goes empties its edits before they are
    // destroyed, so that nothing stays behind in freed memory; its layout goes first, while the
    // edits still exist.
    void emptiedPinEditsKeepNoCopy()
    {
        auto* info = new GenInfoWidget;
        auto* login = new LoginWidget;
        auto* admin = new AdminWidget;
        admin->enableSoMenu(); // a disabled edit takes no keys
        struct
        {
            std::unique_ptr<QWidget> page;
            int pinEdits;
            std::function<void()> empty;
        } pages[] = {
            { std::unique_ptr<QWidget>(info), 5, [=] { info->clearInputs(); } },
            { std::unique_ptr<QWidget>(login), 2, [=] { login->clearInputs(); } },
            { std::unique_ptr<QWidget>(admin), 4, [=] { admin->clearInputs(); } },
        };
        for (auto& [page, pinEdits, empty] : pages) {
            const QList<QLineEdit*> edits = pinEditsOf(page.get());
            QCOMPARE(edits.size(), pinEdits);
            auto typeIntoAll = [&] {
                for (QLineEdit* edit : edits) {
                    QCOMPARE(edit->maxLength(), 8);
                    typeInto(edit, QStringLiteral("12345678"));
                    QCOMPARE(edit->text(), QStringLiteral("12345678"));
                }
            };
            QStringList held;
            auto probeAll = [&] {
                for (QLineEdit* edit : edits) {
                    held << heldBy(edit);
                }
            };
            typeIntoAll();
            empty();
            probeAll();
            typeIntoAll();
            connect(page->layout(), &QObject::destroyed, this, probeAll);
            page.reset();
            QCOMPARE(held, QStringList(2 * pinEdits, QString()));
        }
    }
};

MORVIL_QTEST_MAIN(PagesTest)
#include "test_pages.moc"
