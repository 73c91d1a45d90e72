// What the morvil_admin tests of the tree and its nodes share: emulated tokens, the box watcher,
// a tree model over the tokens.
#pragma once

#include "box_watcher.h"
#include "morvil_item.h"
#include "page_controls.h"
#include "token_bus.h"
#include "token_transactions.h"
#include "tree_model.h"
#include "widgets/admin_widget.h"
#include "widgets/gen_info_widget.h"
#include "widgets/login_widget.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace morvil::test {

// Logs in through the login page, as the user would.
inline void login(MorvilItem* node, bool so, const QString& pin)
{
    node->loginWidget()->findChild<QCheckBox*>(QStringLiteral("chooseSoLogin"))->setChecked(so);
    setText(node->loginWidget(), so ? "soPin" : "userPin", pin);
    press(node->loginWidget(), so ? "soLogin" : "userLogin");
}

// Whether a node's icon (its decoration) is the picture in `file`.
inline bool showsIcon(const QVariant& icon, const char* file)
{
    const QImage shown = icon.value<QIcon>().pixmap(32).toImage();
    return !shown.isNull() && shown == QIcon(QString::fromLatin1(file)).pixmap(32).toImage();
}

inline QStringList tabTexts(MorvilItem* node)
{
    QStringList texts;
    for (int i = 0; i < node->tabs()->count(); ++i) {
        texts << node->tabs()->tabText(i);
    }
    return texts;
}

// Failed steps as a node would report them, kept for the test.
class RecordedFailures : public morvil::admin::FailureReport
{
public:
    void failed(const QString& text) override { texts << text; }
    QStringList texts;
};

// Samples the override cursor on every turn of the event loop, as the user would see it while a
// worker runs.
class CursorSampler : public QObject
{
public:
    CursorSampler()
    {
        mTimer.setInterval(0);
        connect(&mTimer, &QTimer::timeout, this, [this] {
            if (const QCursor* cursor = QGuiApplication::overrideCursor()) {
                shapes.insert(cursor->shape());
            }
        });
        mTimer.start();
    }
    QSet<Qt::CursorShape> shapes;

private:
    QTimer mTimer;
};

// Per-test state: tokens, boxes and a model over them. Call start() once the tokens are in.
class AdminFixture
{
public:
    ~AdminFixture() { stop(); }

    TreeModel* start()
    {
        mModel = std::make_unique<TreeModel>();
        mModel->refresh();
        return mModel.get();
    }

    // Ends the test: the model goes, then every token; pages of deleted nodes are released.
    void stop()
    {
        mModel.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        tokens.unplugAll();
    }

    // Plugs one token, builds the tree and starts the token's command log afresh.
    MorvilItem* startWith(const emu::TokenConfig& config)
    {
        id = tokens.plug(config);
        start();
        tokens.clearLog(id);
        return node();
    }

    TreeModel* model() const { return mModel.get(); }
    MorvilItem* node(int row = 0) const { return static_cast<MorvilItem*>(mModel->rootItem()->child(row)); }

    PluggedTokens tokens;
    BoxWatcher boxes;
    int id = -1; // the token startWith() plugged

private:
    std::unique_ptr<TreeModel> mModel;
};

// Ends a test case: the model, the tokens and the pages go, and what went wrong with the boxes
// (unexpected, unlike the script, or missing) comes back.
inline QStringList endCase(std::unique_ptr<AdminFixture>& fixture)
{
    const QStringList problems = fixture->boxes.finish();
    fixture.reset();
    return problems;
}

} // namespace morvil::test
