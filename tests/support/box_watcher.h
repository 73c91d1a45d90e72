// Watches for modal message boxes while a test runs: every box is recorded (icon, title, text,
// buttons, default button) and answered from a scripted queue. A box that comes when nothing is
// scripted is an unexpected box: it is recorded, answered with Escape's button so the test goes
// on, and reported. An answer still queued at the end is a missing box.
#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <optional>

namespace morvil::test {

struct BoxRecord
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    Qt::TextFormat textFormat = Qt::AutoText;
};

// What a scripted step expects; fields left empty are not compared.
struct BoxAnswer
{
    QMessageBox::StandardButton press = QMessageBox::Ok;
    std::optional<QMessageBox::Icon> icon;
    std::optional<QString> title;
    std::optional<QString> text;
    // Runs while the box is up, before the answer: to look at the screen behind it.
    std::function<void()> whileShown;
};

class BoxWatcher : public QObject
{
    Q_OBJECT
public:
    explicit BoxWatcher(QObject* parent = nullptr);
    ~BoxWatcher() override;

    // Scripts the next box: compared with what is given, then answered with `press`.
    void expect(const BoxAnswer& answer);
    // Short forms for the suite's three kinds of box.
    void expectError(const QString& text);
    void expectQuestion(const QString& text, QMessageBox::StandardButton press);
    void expectInformation(const QString& title, const QString& text);

    // Every box seen so far, oldest first.
    const QList<BoxRecord>& seen() const { return mSeen; }
    void clearSeen() { mSeen.clear(); }
    // Titles and texts of the boxes seen, as "title: text".
    QStringList seenTexts() const;

    // Problems so far (unexpected boxes, mismatches) plus scripted answers never used; an empty
    // list means the script ran exactly. Clears the problems and the script.
    QStringList finish();

    // The modal box shown now, if any.
    static QMessageBox* activeBox();

private:
    void poll();

    QTimer mTimer;
    QList<BoxAnswer> mScript;
    QList<BoxRecord> mSeen;
    QStringList mProblems;
};

} // namespace morvil::test
