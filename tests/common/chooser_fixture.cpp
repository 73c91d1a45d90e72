#include "chooser_fixture.h"

#include "dev_zr40nn.h"

#include <QIcon>

namespace morvil::test {
namespace {

// One use of the library on one named token, with a session open.
template <typename Work> QString onToken(const QByteArray& token, Work work)
{
    DEV_ZR40NN_lib_init();
    QString problem;
    DEV_ZR40NN_lib_find_devices();
    DEV_ZR40NN_lib_actualize_devices();
    DEV_ZR40NN_t* ut = DEV_ZR40NN_find_by_name(token.constData());
    if (ut == nullptr) {
        problem = QStringLiteral("no token ") + QString::fromUtf8(token);
    } else if (DEV_ZR40NN_session_open(ut) < 0) {
        problem = QStringLiteral("no session");
    } else {
        if (!work(ut)) {
            problem = QString::fromUtf8(DEV_ZR40NN_lib_detail_error_desc(ut));
        }
        DEV_ZR40NN_session_close(ut);
    }
    DEV_ZR40NN_lib_finish();
    return problem;
}

} // namespace

QString generateKey(const QByteArray& token, const QByteArray& keyName, int slot)
{
    return onToken(token, [&](DEV_ZR40NN_t* ut) {
        return DEV_ZR40NN_cmd_generate_key(ut, kUserPin, kUserPinId, keyName.constData(), slot) >= 0;
    });
}

QString writeFile(const QByteArray& token, const QByteArray& fileName, int type, const QByteArray& contents)
{
    return onToken(token, [&](DEV_ZR40NN_t* ut) {
        DEV_ZR40NN_file_t* file = DEV_ZR40NN_file_create(ut, fileName.constData(), type);
        if (file == nullptr) {
            return false;
        }
        const bool written
            = (contents.isEmpty() || DEV_ZR40NN_file_write(file, contents.constData(), int(contents.size())) >= 0)
            && DEV_ZR40NN_file_flush(file, kUserPin, kUserPinId) >= 0;
        DEV_ZR40NN_file_close(file);
        return written;
    });
}

QByteArray everyOctet(int size)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i) {
        data[i] = static_cast<char>(i % 256);
    }
    return data;
}

QTreeWidget* chooserList(MorvilDialog& dialog)
{
    return dialog.findChild<QTreeWidget*>(QStringLiteral("morvilList"));
}

QPushButton* chooserButton(MorvilDialog& dialog, const char* name)
{
    return dialog.findChild<QPushButton*>(QLatin1String(name));
}

QTreeWidgetItem* chooserItem(MorvilDialog& dialog, const QString& path)
{
    QTreeWidget* list = chooserList(dialog);
    const QStringList parts = path.split(QLatin1Char('/'));
    QTreeWidgetItem* token = nullptr;
    const QString shown = parts[0] == QLatin1String("#") ? QString() : parts[0];
    for (int i = 0; i < list->topLevelItemCount() && token == nullptr; ++i) {
        if (list->topLevelItem(i)->text(0) == shown) {
            token = list->topLevelItem(i);
        }
    }
    if (token == nullptr || parts.size() == 1) {
        return token;
    }
    for (int i = 0; i < token->childCount(); ++i) {
        if (token->child(i)->text(0) == parts[1]) {
            return token->child(i);
        }
    }
    return nullptr;
}

void chooseAndAccept(MorvilDialog& dialog, QTreeWidgetItem* item)
{
    chooserList(dialog)->setCurrentItem(item);
    chooserButton(dialog, "accept")->click();
}

void doubleClick(MorvilDialog& dialog, QTreeWidgetItem* item)
{
    QTreeWidget* list = chooserList(dialog);
    list->expandAll();
    const QRect rect = list->visualItemRect(item);
    QVERIFY(rect.isValid());
    // The first click of a double click makes the item current, as for the user.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

bool showsIcon(const QTreeWidgetItem* item, const QString& iconName)
{
    const QImage expected = QIcon(iconName).pixmap(32).toImage();
    return !expected.isNull() && item->icon(0).pixmap(32).toImage() == expected;
}

void endChooserTest(BoxWatcher& boxes, PluggedTokens& tokens)
{
    QCOMPARE(boxes.finish(), QStringList());
    boxes.clearSeen();
    tokens.unplugAll();
    QCOMPARE(DEV_ZR40NN_get_first(), nullptr);
}

ChooserHand::ChooserHand(std::function<void(MorvilDialog&)> act)
    : mAct(std::move(act))
{
    mTimer.setInterval(5);
    connect(&mTimer, &QTimer::timeout, this, [this] {
        auto* dialog = qobject_cast<MorvilDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible()) {
            return;
        }
        mTimer.stop();
        mActed = true;
        mAct(*dialog);
    });
    mTimer.start();
}

} // namespace morvil::test
