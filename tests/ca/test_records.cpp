// The certificate and request records and their tree rows, and the row lists that trees point into.
#include "certificate.h"
#include "item_list.h"
#include "qt_test_main.h"
#include "request.h"

#include <QTreeWidget>

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

    void requestRow()
    {
        Request request;
        request.setSubject(QStringLiteral("/C=PL/CN=Jan"));
        QCOMPARE(request.text(0), QStringLiteral("Jan,  "));
        request.setSubject(QStringLiteral("/O=Firma/CN=Anna"));
        QCOMPARE(request.text(0), QStringLiteral("Anna,  Firma"));
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
