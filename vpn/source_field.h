// A field of the connection windows whose bytes come from a local file ("Wybierz") or from a
// token file ("Importuj"): the line edit says where they came from and cannot be typed into, so
// what is saved is always what the field shows.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class QGridLayout;
class QLineEdit;
class QPushButton;
class QWidget;

class SourceField : public QObject
{
    Q_OBJECT
public:
    // A certificate must not be empty; a template may be. Widgets are named after `objectName`
    // ("caCert", "caCertBrowse", "caCertImport").
    enum class Empty
    {
        Refused,
        Allowed,
    };
    SourceField(const QString& objectName, Empty empty, QWidget* window);

    // A further test of what is chosen: it returns why `data` from `source` (as the field would
    // show it) is refused, or nothing. A refused choice gets a "Wybór pliku" box and changes nothing.
    using Check = std::function<QString(const QString& source, const QByteArray& data)>;
    void setCheck(Check check) { mCheck = std::move(check); }

    // The edit at (row, 1) spanning 3 columns, the buttons at (row + 1, 2) and (row + 1, 3).
    void placeIn(QGridLayout* grid, int row);
    // Takes a file of the store (relative to the working directory) as the source.
    void preload(const QString& path);

    QLineEdit* edit() const { return mEdit; }
    const QString& fileName() const { return mFileName; }
    const QByteArray& data() const { return mData; }
    // Something was chosen (and, for a certificate, it is not empty).
    bool isChosen() const;

private slots:
    void browseSlot();
    void importSlot();

private:
    // Takes a choice that passed every test.
    void take(const QString& source, const QString& fileName, const QByteArray& data);

    QWidget* mWindow;
    Empty mEmpty;
    Check mCheck;
    QLineEdit* mEdit;
    QString mFileName; // without directory
    QByteArray mData;
    QPushButton* mBrowse;
    QPushButton* mImport;
};
