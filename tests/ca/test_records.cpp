// The certificate and request records and their tree rows, and the row lists that trees point into.
#include "certificate.h"
#include "item_list.h"
#include "qt_test_main.h"
#include "request.h"

#include <QIcon>
#include <QImage>
#include <QTreeWidget>

#include <algorithm>

class RecordsTest : public QObject
{
    Q_OBJECT

private slots:
    void serialGivesNumberFileAndColumn()
    {
        Certificate certificate;
        certificate.setSerial(QStringLiteral("0A"));
        QCOMPARE(certificate.serial(), 10);
        QCOMPARE(certificate.fileName(), QStringLiteral("0A.pem"));
        QCOMPARE(certificate.text(0), QStringLiteral("    10"));

        certificate.setSerial(QStringLiteral("0a"));
        QCOMPARE(certificate.fileName(), QStringLiteral("0a.pem"));
        // Not hexadecimal, or too large for an int: 0, the file name as given.
        certificate.setSerial(QStringLiteral("xyz"));
        QCOMPARE(certificate.serial(), 0);
        QCOMPARE(certificate.fileName(), QStringLiteral("xyz.pem"));
        certificate.setSerial(QStringLiteral("1234567890ABCDEF"));
        QCOMPARE(certificate.serial(), 0);
        QCOMPARE(certificate.text(0), QStringLiteral("     0"));
    }

    // The number column sorts by the serials as numbers, whatever their length, case or leading
    // zeros; text that is not hexadecimal counts as the 0 the row shows. The other columns sort by
    // their text.
    void serialColumnSortsByNumber()
    {
        const QStringList serials
            = QStringLiteral("989680 0A 0100000000 05 0 FFFFFFFFFFFFFFFFFFFF1 98967F xyz 0C "
                             "00000000000b 10000000000000000B ffffffffffffffffffff 10000000000000000a")
                  .split(QLatin1Char(' '));
        QTreeWidget tree;
        tree.setColumnCount(3);
        tree.setSortingEnabled(true);
        tree.sortByColumn(0, Qt::AscendingOrder);
        ItemList<Certificate> list;
        for (int i = 0; i < serials.size(); ++i) {
            Certificate& certificate = list.appendNew();
            certificate.setSerial(serials[i]);
            certificate.setSubject(QStringLiteral("/CN=%1").arg(QChar(char16_t(u'a' + serials.size() - 1 - i))));
            tree.addTopLevelItem(&certificate);
        }
        const auto column = [&tree](bool serial) {
            QStringList shown;
            for (int i = 0; i < tree.topLevelItemCount(); ++i) {
                const auto* row = static_cast<const Certificate*>(tree.topLevelItem(i));
                shown << (serial ? row->fileName().chopped(4) : row->text(1));
            }
            return shown;
        };
        // 98967F and 989680 show as 9999999 and 10000000; 0100000000 is too large for the column.
        const QStringList ascending
            = QStringLiteral("0 xyz 05 0A 00000000000b 0C 98967F 989680 0100000000 "
                             "10000000000000000a 10000000000000000B ffffffffffffffffffff FFFFFFFFFFFFFFFFFFFF1")
                  .split(QLatin1Char(' '));
        QCOMPARE(column(true), ascending);
        tree.sortByColumn(0, Qt::DescendingOrder);
        QStringList descending = ascending.mid(2);
        std::reverse(descending.begin(), descending.end());
        descending << QStringLiteral("0") << QStringLiteral("xyz"); // equal rows keep their order
        QCOMPARE(column(true), descending);
        tree.sortByColumn(1, Qt::AscendingOrder);
        QCOMPARE(column(false), QStringLiteral("a b c d e f g h i j k l m").split(QLatin1Char(' ')));
    }

    void subjectSetsTheColumns()
    {
        Certificate certificate;
        certificate.setSerial(QStringLiteral("1F"));
        certificate.setSubject(QStringLiteral("/C=PL/O=Firma Łęczna/CN=Jan Kowalski"));
        QCOMPARE(certificate.text(0), QStringLiteral("    31"));
        QCOMPARE(certificate.text(1), QStringLiteral("Jan Kowalski"));
        QCOMPARE(certificate.text(2), QStringLiteral("Firma Łęczna"));
        QCOMPARE(certificate.subject(), QStringLiteral("/C=PL/O=Firma Łęczna/CN=Jan Kowalski"));
    }

    // The number column shows the state's icon: each letter its own, none for an expired one.
    void stateGivesTheIcon()
    {
        const auto image = [](const QIcon& icon) { return icon.pixmap(16).toImage(); };
        const std::pair<const char*, const char*> states[] = {
            { "V", ":img/ok.png" }, { "R", ":img/cancel.png" }, { "S", ":img/lock.png" }, { "X", ":img/help.png" }
        };
        QList<QImage> seen;
        for (const auto& [state, file] : states) {
            Certificate certificate;
            certificate.setState(QString::fromLatin1(state));
            QCOMPARE(certificate.state(), QString::fromLatin1(state));
            const QImage shown = image(certificate.icon(0));
            QVERIFY2(!shown.isNull() && shown == image(QIcon(QString::fromLatin1(file))), state);
            QVERIFY2(!seen.contains(shown), state);
            seen << shown;
        }
        Certificate expired;
        expired.setState(QStringLiteral("V"));
        expired.setState(QStringLiteral("E"));
        QVERIFY(expired.icon(0).isNull());
    }

    void requestRow()
    {
        Request request;
        request.setSubject(QStringLiteral("/C=PL/CN=Jan"));
        QCOMPARE(request.text(0), QStringLiteral("Jan,  "));
        request.setSubject(QStringLiteral("/O=Firma/CN=Anna"));
        QCOMPARE(request.text(0), QStringLiteral("Anna,  Firma"));
        const QImage shown = request.icon(0).pixmap(16).toImage();
        QVERIFY(!shown.isNull() && shown == QIcon(QStringLiteral(":img/add_user.png")).pixmap(16).toImage());
    }

    void rowsKeepTheirPlaceWhileTheListGrows()
    {
        QTreeWidget tree;
        ItemList<Certificate> list;
        Certificate& first = list.appendNew();
        first.setSerial(QStringLiteral("01"));
        tree.addTopLevelItem(&first);
        for (int i = 0; i < 1000; ++i) {
            list.appendNew();
        }
        QCOMPARE(&list[0], &first);
        QCOMPARE(tree.topLevelItem(0), static_cast<QTreeWidgetItem*>(&first));
        QCOMPARE(tree.topLevelItem(0)->text(0), QStringLiteral("     1"));

        // A copy belongs to no tree; the original stays where it is.
        ItemList<Certificate> copy = list;
        QCOMPARE(copy.size(), 1001);
        QVERIFY(copy[0].treeWidget() == nullptr);
        QCOMPARE(copy[0].text(0), QStringLiteral("     1"));
        QCOMPARE(first.treeWidget(), &tree);

        // Rows that go take themselves out of the tree.
        list.clear();
        QCOMPARE(tree.topLevelItemCount(), 0);
    }
};

MORVIL_QTEST_MAIN(RecordsTest)
#include "test_records.moc"
