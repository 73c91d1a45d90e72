// The tree model over plugged and unplugged tokens, checked by Qt's own model tester.
#include "admin_fixture.h"
#include "qt_test_main.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

using namespace morvil::test;

namespace {

QString serialOf(TreeItem* node)
{
    return QString::fromUtf8(static_cast<MorvilItem*>(node)->device()->serial_number);
}

QStringList serials(TreeModel* model)
{
    QStringList list;
    for (int i = 0; i < model->rootItem()->childCount(); ++i) {
        list << serialOf(model->rootItem()->child(i));
    }
    return list;
}

// A plain node with a page of its own, to follow the removal notices.
std::unique_ptr<TreeItem> nodeWithPage(QWidget* page)
{
    auto node = std::make_unique<TreeItem>(nullptr);
    node->setPage(page);
    return node;
}

} // namespace

class TreeTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<AdminFixture> f;

private slots:
    void initTestCase() { tokenBus(); }
    void init() { f = std::make_unique<AdminFixture>(); }
    void cleanup() { QCOMPARE(endCase(f), QStringList()); }

    void noTokenGivesAnEmptyTree()
    {
        TreeModel* model = f->start();
        QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model->refresh(), 0);
        QCOMPARE(model->rowCount(), 0);
        QCOMPARE(model->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Dostępne tokeny"));
        QVERIFY(!model->headerData(0, Qt::Horizontal, Qt::DecorationRole).isValid());
        QVERIFY(!model->headerData(0, Qt::Vertical, Qt::DisplayRole).isValid());
        QCOMPARE(model->flags(QModelIndex()), Qt::NoItemFlags);
    }

    void tokensComeAndGoWithRefresh()
    {
        QMap<QString, int> idOf;
        auto plug = [&](const emu::TokenConfig& config) {
            idOf.insert(QString::fromStdString(config.serial), f->tokens.plug(config));
            return QString::fromStdString(config.serial);
        };
        const QString a = plug(configuredToken("A"));
        TreeModel* model = f->start();
        QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(serials(model), QStringList({ a }));

        // Plugged later: after the nodes already shown, wherever the library lists them.
        const QString b = plug(blankToken());
        const QString c = plug(configuredToken("C"));
        QCOMPARE(model->refresh(), 3);
        QCOMPARE(serials(model).first(), a);
        QVERIFY(serials(model).contains(b) && serials(model).contains(c));

        const QModelIndex first = model->index(0, 0);
        QCOMPARE(model->data(first, Qt::DisplayRole).toString(), QStringLiteral("A"));
        QVERIFY(model->data(first, Qt::DecorationRole).canConvert<QIcon>());
        QVERIFY(!model->data(first, Qt::ToolTipRole).isValid());
        QCOMPARE(model->flags(first), Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);

        // Two neighbours pulled out go in one pass; their pages are announced in row order.
        QSignalSpy deleted(model, &TreeModel::pageDeleted);
        const QStringList before = serials(model);
        QWidget* firstPage = f->node(0)->page();
        QWidget* secondPage = f->node(1)->page();
        f->tokens.unplug(idOf.value(before.at(0)));
        f->tokens.unplug(idOf.value(before.at(1)));
        QCOMPARE(model->refresh(), 1);
        QCOMPARE(serials(model), QStringList({ before.at(2) }));
        // A usable token's folders go before it, deepest first.
        QList<QWidget*> tokenPages;
        for (const QList<QVariant>& signal : deleted) {
            tokenPages << signal.at(0).value<QWidget*>();
        }
        tokenPages.removeIf([&](QWidget* page) { return page != firstPage && page != secondPage; });
        QCOMPARE(tokenPages, QList<QWidget*>({ firstPage, secondPage }));
        QCOMPARE(deleted.last().at(0).value<QWidget*>(), secondPage);
    }

    // A record that an enumeration made elsewhere (the engine's) handed to another token is not
    // the node's any more: the node goes and the record gets a node of its own.
    void aRecordOfAnotherTokenGetsANewNode()
    {
        f->tokens.plug(configuredToken("A"));
        TreeModel* model = f->start();
        MorvilItem* before = f->node();
        QVERIFY(before->holdsSameToken());
        DEV_ZR40NN_t* record = before->device();
        QSignalSpy deleted(model, &TreeModel::pageDeleted);
        QWidget* page = before->page();
        std::snprintf(record->serial_number, sizeof(record->serial_number), "%s", "INNY-0001");
        QVERIFY(!before->holdsSameToken());
        QCOMPARE(model->refresh(), 1);
        QCOMPARE(deleted.last().at(0).value<QWidget*>(), page);
        QCOMPARE(f->node()->device(), record);
        QVERIFY(f->node()->holdsSameToken());
    }

    void enumerationRunsBehindTheWaitCursor()
    {
        f->tokens.plug(configuredToken("A"));
        TreeModel* model = f->start();
        tokenBus().setWireTime(true);
        CursorSampler sampler;
        QCOMPARE(model->refresh(), 1);
        tokenBus().setWireTime(false);
        QCOMPARE(sampler.shapes, QSet<Qt::CursorShape>({ Qt::WaitCursor }));
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    }

    void deletingAnAbsentRowChangesNothing()
    {
        TreeModel* model = f->start();
        QSignalSpy deleted(model, &TreeModel::pageDeleted);
        QSignalSpy removed(model, &QAbstractItemModel::rowsAboutToBeRemoved);
        model->appendChild(model->rootItem(), std::make_unique<TreeItem>(nullptr));
        model->deleteChild(model->rootItem(), 1);
        QCOMPARE(deleted.size(), 0);
        QCOMPARE(removed.size(), 0);
        model->deleteChild(model->rootItem(), 0);
        QCOMPARE(removed.size(), 1);
    }

    // Pages are announced deepest first, each before its row disappears.
    void subtreesGoDeepestFirst()
    {
        TreeModel* model = f->start();
        QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QWidget top, middle, leaf, sibling;
        model->appendChild(model->rootItem(), nodeWithPage(&top));
        TreeItem* topNode = model->rootItem()->child(0);
        model->appendChild(topNode, nodeWithPage(&middle));
        model->insertChild(topNode, 0, nodeWithPage(&sibling));
        model->appendChild(topNode->child(1), nodeWithPage(&leaf));
        QCOMPARE(topNode->child(0)->page(), &sibling);
        QCOMPARE(topNode->child(1)->row(), 1);
        QCOMPARE(model->parent(model->index(0, 0, model->index(1, 0, model->index(0, 0)))),
                 model->index(1, 0, model->index(0, 0)));

        QStringList order;
        connect(model, &TreeModel::pageDeleted, this, [&](QWidget* page) {
            order << (page == &top ? "top" : page == &middle ? "middle" : page == &leaf ? "leaf" : "sibling");
        });
        connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
                [&](const QModelIndex&, int first, int) { order << QStringLiteral("row %1").arg(first); });
        model->deleteChild(model->rootItem(), 0);
        QCOMPARE(order, QStringList({ "sibling", "row 0", "leaf", "row 0", "middle", "row 0", "top", "row 0" }));
        QCOMPARE(model->rowCount(), 0);
    }
};

MORVIL_QTEST_MAIN(TreeTest)
#include "test_tree.moc"
