#include "source_field.h"

#include "file_dialog_wpr.h"
#include "message_box.h"
#include "token_choice.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>

SourceField::SourceField(const QString& objectName, Empty empty, QWidget* window)
    : QObject(window)
    , mWindow(window)
    , mEmpty(empty)
    , mEdit(new QLineEdit(window))
    , mBrowse(new QPushButton(tr("Wybierz"), window))
    , mImport(new QPushButton(tr("Importuj"), window))
{
    mEdit->setObjectName(objectName);
    mEdit->setReadOnly(true);
    mBrowse->setObjectName(objectName + QStringLiteral("Browse"));
    mImport->setObjectName(objectName + QStringLiteral("Import"));
    connect(mBrowse, &QPushButton::clicked, this, &SourceField::browseSlot);
    connect(mImport, &QPushButton::clicked, this, &SourceField::importSlot);
}

void SourceField::placeIn(QGridLayout* grid, int row)
{
    grid->addWidget(mEdit, row, 1, 1, 3);
    grid->addWidget(mBrowse, row + 1, 2);
    grid->addWidget(mImport, row + 1, 3);
}

void SourceField::preload(const QString& path)
{
    mFileName = path;
    QFile file(path);
    mData = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    mEdit->setText(path);
}

bool SourceField::isChosen() const
{
    return !mEdit->text().isEmpty() && (mEmpty == Empty::Allowed || !mData.isEmpty());
}

void SourceField::browseSlot()
{
    const QString path = FileDialogWPR::getOpenFileName(mWindow, tr("Wybierz plik"), QDir::currentPath());
    if (path.isEmpty()) {
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        morvil::box::critical(
            morvil::box::errorTitle(),
            tr("Nie można odczytać pliku %1:\n%2").arg(QDir::toNativeSeparators(path), file.errorString()), mWindow);
        return;
    }
    const QByteArray data = file.readAll();
    if (data.isEmpty() && mEmpty == Empty::Refused) {
        morvil::box::critical(morvil::box::errorTitle(), tr("Plik %1 jest pusty.").arg(QDir::toNativeSeparators(path)),
                              mWindow);
        return;
    }
    take(path, QFileInfo(path).fileName(), data);
}

void SourceField::importSlot()
{
    QByteArray data;
    const QString chosen
        = vpn::chooseTokenFile(data, mEmpty == Empty::Refused ? tr("Wybór certyfikatu") : tr("Wybór pliku"), mWindow);
    if (chosen.isEmpty()) {
        return;
    }
    if (data.isEmpty() && mEmpty == Empty::Refused) {
        morvil::box::critical(morvil::box::errorTitle(), tr("Plik %1 jest pusty.").arg(chosen), mWindow);
        return;
    }
    take(chosen, chosen.section(QLatin1Char('/'), -1), data);
}

void SourceField::take(const QString& source, const QString& fileName, const QByteArray& data)
{
    const QString refusal = mCheck ? mCheck(source, data) : QString();
    if (!refusal.isEmpty()) {
        morvil::box::information(tr("Wybór pliku"), refusal, mWindow);
        return;
    }
    mData = data;
    mFileName = fileName;
    mEdit->setText(source);
}
